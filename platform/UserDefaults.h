#pragma once

// The launcher's preferences: a registration domain held in memory beneath the user's own
// values, which live in $XDG_CONFIG_HOME/org.quillmor.Launcher.plist and are written
// through on every change. A damaged file is set aside rather than written over, and one
// that cannot be opened is left alone for the run; the player is told through a handler.

#include "platform/FailureReports.h"

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

    // What the player is told when the file cannot be read or written: a short message and
    // the detail. What was met before a handler is set (reading the file) waits for it.
    using FailureHandler = FailureReports::Handler;
    void setFailureHandler(FailureHandler handler);

    void registerDefaults(const QVariantMap& defaults);
    QVariant objectForKey(const QString& key) const;
    // False when the change did not reach the file; it is kept in memory all the same.
    bool setObject(const QVariant& value, const QString& key);
    bool removeObject(const QString& key);

    QString path() const { return m_path; }

private:
    void reload();
    bool write();
    void report(const QString& message, const QString& detail);

    QString m_path;
    QVariantMap m_registered;
    QVariantMap m_values;
    // False for a run that could not open the file: it is never written over then.
    bool m_writable = true;
    FailureReports m_failures;
};
