#pragma once

// The launcher's preferences: a registration domain held in memory beneath the user's own
// values, which live in $XDG_CONFIG_HOME/org.quillmor.Launcher.plist and are written
// through on every change.

#include <QString>
#include <QVariantMap>

class UserDefaults
{
public:
    // The file named by the current environment.
    static QString defaultPath();
    // The process-wide instance. It follows $XDG_CONFIG_HOME: when that names another file
    // than the one loaded, the user values are read afresh (registered defaults stay).
    static UserDefaults& standard();

    explicit UserDefaults(const QString& path = defaultPath());

    void registerDefaults(const QVariantMap& defaults);
    QVariant objectForKey(const QString& key) const;
    void setObject(const QVariant& value, const QString& key);
    void removeObject(const QString& key);

    QString path() const { return m_path; }

private:
    void reload();
    void write() const;

    QString m_path;
    QVariantMap m_registered;
    QVariantMap m_values;
};
