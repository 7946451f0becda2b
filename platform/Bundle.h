#pragma once

// An application as the launcher sees it: an identifier, an executable and an information
// dictionary. The launcher's own bundle carries launcher/Info.plist (compiled in, or the
// file named by QUILLMOR_LAUNCHER_INFO_PLIST); other applications are found through their
// XDG desktop entries (Workspace).

#include <QString>
#include <QStringList>
#include <QVariantMap>

class Bundle
{
public:
    Bundle() = default;
    Bundle(QString path, QString identifier, QString executablePath, QVariantMap info = {});

    // The launcher itself. Read afresh on every call, so that tests can swap the file.
    static Bundle main();

    QString bundlePath() const { return m_path; }
    QString bundleIdentifier() const { return m_identifier; }
    QString executablePath() const { return m_executablePath; }
    // What the program is started with before any arguments of the caller's own.
    QStringList arguments() const { return m_arguments; }
    void setArguments(const QStringList& arguments) { m_arguments = arguments; }
    QVariantMap infoDictionary() const { return m_info; }
    QVariant objectForInfoDictionaryKey(const QString& key) const { return m_info.value(key); }

private:
    QString m_path;
    QString m_identifier;
    QString m_executablePath;
    QStringList m_arguments;
    QVariantMap m_info;
};
