#include "platform/UserDefaults.h"

#include "platform/PropertyList.h"

#include <QStandardPaths>

QString UserDefaults::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/org.quillmor.Launcher.plist");
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance;
    const QString path = defaultPath();
    if (instance.m_path != path) {
        instance.m_path = path;
        instance.reload();
    }
    return instance;
}

UserDefaults::UserDefaults(const QString& path) : m_path(path)
{
    reload();
}

void UserDefaults::reload()
{
    // A damaged or foreign file gives no user values; it is replaced at the next change.
    const auto stored = PropertyList::readFile(m_path);
    m_values = stored && stored->metaType().id() == QMetaType::QVariantMap ? stored->toMap()
                                                                           : QVariantMap();
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    const auto it = m_values.constFind(key);
    if (it != m_values.cend())
        return *it;
    return m_registered.value(key);
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid()) {
        removeObject(key);
        return;
    }
    // Held as the file will give it back; a value the file cannot hold would stop every
    // later write, so it is refused here instead of taking the other keys down with it.
    const auto kept = PropertyList::storable(value);
    if (!kept) {
        qWarning("UserDefaults: %s holds a value a property list cannot store; not kept",
                 qPrintable(key));
        return;
    }
    m_values.insert(key, *kept);
    write();
}

void UserDefaults::removeObject(const QString& key)
{
    if (m_values.remove(key) > 0)
        write();
}

void UserDefaults::write() const
{
    if (!PropertyList::writeFile(m_path, m_values))
        qWarning("UserDefaults: could not write %s", qPrintable(m_path));
}
