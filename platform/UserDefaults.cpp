#include "platform/UserDefaults.h"

#include "platform/Localization.h"
#include "platform/PropertyList.h"

#include <QDir>
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
    m_values.clear();
    m_writable = true;
    m_failures.discardPending();
    PropertyList::removeLeftovers(m_path);
    PropertyList::FileContents contents = PropertyList::read(m_path);
    switch (contents.error) {
    case PropertyList::ReadError::Missing:
        return;
    case PropertyList::ReadError::Unreadable:
        // The file may be perfectly good: written over, the player's feeds would be gone.
        m_writable = false;
        report(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The preferences could not be opened.")),
            QStringLiteral("%1: %2\n\n").arg(QDir::toNativeSeparators(m_path), contents.reason) +
                localizedString(QT_TRANSLATE_NOOP(
                    "Quillmor", "The launcher uses its default feeds and settings, and saves no "
                                "changes to them until a start that can read the file.")));
        return;
    case PropertyList::ReadError::None:
        if (contents.value->metaType().id() == QMetaType::QVariantMap) {
            m_values = contents.value->toMap();
            return;
        }
        break;
    case PropertyList::ReadError::Damaged:
        if (const auto salvaged = PropertyList::salvage(contents.bytes);
            salvaged && salvaged->value.metaType().id() == QMetaType::QVariantMap)
            m_values = salvaged->value.toMap();
        break;
    }

    QString reason;
    const std::optional<QString> aside = PropertyList::setAside(m_path, &reason);
    QString detail =
        aside
            ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "The damaged file is kept as \"%1\"."))
                  .arg(QDir::toNativeSeparators(*aside))
            : localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                "The damaged file could not be set aside (%1), so "
                                                "the launcher saves no changes to the preferences "
                                                "this time."))
                  .arg(reason);
    m_writable = aside.has_value();
    detail += u' ';
    if (m_values.isEmpty()) {
        detail += localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The launcher uses its default feeds and settings."));
        report(localizedString(QT_TRANSLATE_NOOP("Quillmor", "The preferences could not be read.")),
               detail);
    } else {
        detail += localizedString(QT_TRANSLATE_NOOP(
            "Quillmor", "The settings that could not be read are back to their defaults."));
        report(localizedString(
                   QT_TRANSLATE_NOOP("Quillmor", "Part of the preferences could not be read.")),
               detail);
    }
}

void UserDefaults::setFailureHandler(FailureHandler handler)
{
    m_failures.setHandler(std::move(handler));
}

void UserDefaults::report(const QString& message, const QString& detail)
{
    m_failures.report(message, detail);
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

bool UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid())
        return removeObject(key);
    // Held as the file will give it back; a value the file cannot hold would stop every
    // later write, so it is refused here instead of taking the other keys down with it.
    const auto kept = PropertyList::storable(value);
    if (!kept) {
        qWarning("UserDefaults: %s holds a value a property list cannot store; not kept",
                 qPrintable(key));
        return false;
    }
    m_values.insert(key, *kept);
    return write();
}

bool UserDefaults::removeObject(const QString& key)
{
    return m_values.remove(key) == 0 || write();
}

bool UserDefaults::write()
{
    // Not written over a file that could not be opened; the player was told at the start.
    if (!m_writable)
        return false;
    QString reason;
    if (PropertyList::writeFile(m_path, m_values, &reason))
        return true;
    report(localizedString(QT_TRANSLATE_NOOP("Quillmor", "The preferences could not be saved.")),
           QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), reason));
    return false;
}
