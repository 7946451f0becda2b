#include "catalogue/Database.h"

#include "install/Locations.h"
#include "platform/Bundle.h"
#include "platform/Localization.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

const QString kLevelMarker = QStringLiteral("levellist.dat");

// The copy of the catalogue as it was before the last save, where a damaged or lost catalogue
// is started from.
QString backupPathFor(const QString& path)
{
    return QFileInfo(path).dir().filePath(QStringLiteral("database.backup.plist"));
}

// A catalogue file as read: every record (Whole), the records of a damaged file that still
// read (Partial), or none.
struct CatalogueFile
{
    enum State
    {
        Whole,
        Partial,
        Missing,
        Unreadable,
        Damaged
    } state = Missing;
    QList<LevelEntry> entries;
    QString reason;
};

CatalogueFile readCatalogue(const QString& path)
{
    PropertyList::FileContents contents = PropertyList::read(path);
    CatalogueFile file;
    QVariantList list;
    switch (contents.error) {
    case PropertyList::ReadError::Missing:
        return file;
    case PropertyList::ReadError::Unreadable:
        file.state = CatalogueFile::Unreadable;
        file.reason = contents.reason;
        return file;
    case PropertyList::ReadError::Damaged:
        // One damaged record, or a file cut short, must not cost the player every other one.
        if (const auto salvaged = PropertyList::salvage(contents.bytes);
            salvaged && salvaged->value.metaType().id() == QMetaType::QVariantList) {
            list = salvaged->value.toList();
            file.state = CatalogueFile::Partial;
        } else {
            file.state = CatalogueFile::Damaged;
            return file;
        }
        break;
    case PropertyList::ReadError::None:
        if (contents.value->metaType().id() != QMetaType::QVariantList) {
            file.state = CatalogueFile::Damaged;
            return file;
        }
        list = contents.value->toList();
        file.state = CatalogueFile::Whole;
        break;
    }
    file.entries.reserve(qMax<qsizetype>(list.size(), 16));
    for (const QVariant& value : std::as_const(list)) {
        if (value.metaType().id() == QMetaType::QVariantMap)
            file.entries.append(value.toMap());
        else
            file.state = CatalogueFile::Partial;
    }
    if (file.state == CatalogueFile::Partial && file.entries.isEmpty())
        file.state = CatalogueFile::Damaged;
    return file;
}

} // namespace

QString getDatabasePath()
{
    const auto dir = getApplicationDir();
    return dir ? QDir(*dir).filePath(QStringLiteral("database.plist")) : QString();
}

Database::Database() = default;

QDateTime Database::now() const
{
    // To the second, as the catalogue file keeps dates.
    const QDateTime time = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    return QDateTime::fromSecsSinceEpoch(time.toSecsSinceEpoch(), Qt::UTC);
}

void Database::firstLoad()
{
    if (!m_firstLoad)
        return;
    m_firstLoad = false;
    load();
}

void Database::load()
{
    const QString path = getDatabasePath();
    m_data.clear();
    m_dirty = true;
    m_writable = true;
    m_fileSaved = false;
    if (!path.isEmpty())
        readFile(path);

    discoverLevelFolders();

    // A folder removed while the launcher was away shows as missing, but is no reason by
    // itself to rewrite the file.
    for (LevelEntry& entry : m_data) {
        const QUrl folder = urlForKey(entry, LevelKey::urlInstall);
        if (!folder.isValid())
            continue;
        entry.insert(LevelKey::exists, checkLevelExists(folder));
    }

    ensureDefaultLevel();
    // A file that could not be read stays as it is; the player has been told.
    if (m_writable)
        save();
}

void Database::readFile(const QString& path)
{
    const QString backup = backupPathFor(path);
    PropertyList::removeLeftovers(path);
    PropertyList::removeLeftovers(backup);

    CatalogueFile file = readCatalogue(path);
    if (file.state == CatalogueFile::Whole) {
        m_data = std::move(file.entries);
        m_dirty = false;
        m_fileSaved = true;
        return;
    }
    if (file.state == CatalogueFile::Missing && !QFileInfo::exists(backup))
        return; // a first start

    QString message;
    QStringList detail;
    if (file.state == CatalogueFile::Unreadable) {
        // Not damage: a catalogue the launcher cannot open may be perfectly good, and writing
        // over it would lose it.
        m_writable = false;
        message = localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The level catalogue could not be opened."));
        detail << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.reason)
               << localizedString(QT_TRANSLATE_NOOP(
                      "Quillmor", "The launcher leaves the file as it is and saves no "
                                  "changes to the catalogue until a start that can read "
                                  "it."));
    } else if (file.state != CatalogueFile::Missing) {
        QString reason;
        const std::optional<QString> aside = PropertyList::setAside(path, &reason);
        if (aside) {
            detail << localizedString(
                          QT_TRANSLATE_NOOP("Quillmor", "The damaged file is kept as \"%1\"."))
                          .arg(QDir::toNativeSeparators(*aside));
        } else {
            m_writable = false;
            detail << localizedString(
                          QT_TRANSLATE_NOOP("Quillmor",
                                            "The damaged file could not be set aside (%1), so "
                                            "the launcher saves no changes to the catalogue "
                                            "this time."))
                          .arg(reason);
        }
        if (file.state == CatalogueFile::Partial) {
            m_data = std::move(file.entries);
            report(localizedString(QT_TRANSLATE_NOOP(
                       "Quillmor", "Part of the level catalogue could not be read.")),
                   localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                     "Levels read from it: %1. What could not "
                                                     "be read was left out."))
                           .arg(m_data.size()) +
                       u' ' + detail.join(u' '));
            return;
        }
        message = localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The level catalogue could not be read."));
    } else {
        message =
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level catalogue was missing."));
    }

    CatalogueFile previous = readCatalogue(backup);
    if (previous.state == CatalogueFile::Whole || previous.state == CatalogueFile::Partial) {
        m_data = std::move(previous.entries);
        detail << localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The launcher started from its backup copy, saved "
                                          "before the last change."));
    } else {
        detail << localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                    "The launcher started with the levels it "
                                                    "found in the game's level folder."));
    }
    report(message, detail.join(u' '));
}

void Database::discoverLevelFolders()
{
    const auto levelDir = getGameLevelDir();
    if (!levelDir)
        return;
    const QDir dir(*levelDir);
    const QStringList names = dir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    if (names.isEmpty())
        return;

    // A set of the folders already known replaces a walk of the catalogue per folder; a
    // folder added here is known to the names that follow, as the walk would find it.
    QSet<QString> installed;
    installed.reserve(m_data.size() + names.size());
    for (const LevelEntry& entry : std::as_const(m_data)) {
        const QUrl folder = urlForKey(entry, LevelKey::urlInstall);
        if (folder.isValid())
            installed.insert(absoluteString(folder));
    }

    for (const QString& name : names) {
        const QString folderPath = dir.filePath(name);
        const QFileInfo marker(QDir(folderPath).filePath(kLevelMarker));
        if (!marker.exists() || marker.isDir())
            continue;
        const QUrl folder = QUrl::fromLocalFile(folderPath + u'/');
        const QString key = absoluteString(folder);
        if (installed.contains(key))
            continue;

        LevelEntry entry;
        entry.insert(LevelKey::name, name);
        entry.insert(LevelKey::author, localizedString(QT_TRANSLATE_NOOP("Quillmor", "Unknown")));
        entry.insert(LevelKey::description,
                     localizedString(QT_TRANSLATE_NOOP("Quillmor", "User level")));
        entry.insert(LevelKey::guid, QString());
        entry.insert(LevelKey::urlInstall, absoluteString(folder));
        entry.insert(LevelKey::urlWebsite, QString());
        entry.insert(LevelKey::urlDownload, QString());
        entry.insert(LevelKey::urlSource, QString());
        entry.insert(LevelKey::sha1Install, QByteArray());
        entry.insert(LevelKey::sha1Remote, QByteArray());
        entry.insert(
            LevelKey::pubDateInstall,
            PropertyList::storable(QFileInfo(folderPath).lastModified()).value_or(distantPast()));
        entry.insert(LevelKey::pubDateRemote, distantPast());
        entry.insert(LevelKey::exists, true);
        installed.insert(key);
        m_data.append(entry);
        m_dirty = true;
    }
}

void Database::ensureDefaultLevel()
{
    if (indexOfLevel(LevelIdentity{}) >= 0)
        return;

    // Without the game there is no executable to date the level by; the distant past is the
    // catalogue's usual "no date".
    QDateTime installed = distantPast();
    if (const auto game = getGameBundle()) {
        const QFileInfo executable(game->executablePath());
        if (!game->executablePath().isEmpty() && executable.exists())
            installed = PropertyList::storable(executable.lastModified())
                            .value_or(distantPast())
                            .toDateTime();
    }

    LevelEntry entry;
    entry.insert(LevelKey::name, localizedString(QT_TRANSLATE_NOOP("Quillmor", "Standard")));
    entry.insert(LevelKey::author, QStringLiteral("Brambix90"));
    entry.insert(LevelKey::description,
                 localizedString(QT_TRANSLATE_NOOP("Quillmor", "Run the unmodified game")));
    entry.insert(LevelKey::guid, QString());
    entry.insert(LevelKey::urlInstall, QString());
    entry.insert(
        LevelKey::urlWebsite,
        Bundle::main().objectForInfoDictionaryKey(QStringLiteral("QuillmorWebsite")).toString());
    entry.insert(LevelKey::urlDownload, QString());
    entry.insert(LevelKey::urlSource, QString());
    entry.insert(LevelKey::sha1Install, QByteArray());
    entry.insert(LevelKey::sha1Remote, QByteArray());
    entry.insert(LevelKey::pubDateInstall, installed);
    entry.insert(LevelKey::pubDateRemote, distantPast());
    entry.insert(LevelKey::exists, true);
    m_data.append(entry);
    m_dirty = true;
}

bool Database::save()
{
    if (!m_dirty)
        return true;
    const QString path = getDatabasePath();
    if (path.isEmpty()) {
        m_dirty = false;
        return true;
    }
    const QString failed =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level catalogue could not be saved."));
    if (!m_writable) {
        report(failed,
               localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                 "The launcher could not read \"%1\" at its start, "
                                                 "so it does not write over it. Your changes are "
                                                 "kept until you quit."))
                   .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    QVariantList list;
    list.reserve(m_data.size());
    for (const LevelEntry& entry : std::as_const(m_data))
        list.append(entry);
    // Only a catalogue known to be good becomes the backup, never a damaged file.
    if (m_fileSaved)
        PropertyList::keepCopy(path, backupPathFor(path));
    // A failed write leaves the file as it was; the catalogue stays dirty, so the next save
    // tries again rather than losing what this one held.
    QString reason;
    if (!PropertyList::writeFile(path, list, &reason)) {
        report(failed, QStringLiteral("%1: %2\n\n").arg(QDir::toNativeSeparators(path), reason) +
                           localizedString(QT_TRANSLATE_NOOP(
                               "Quillmor", "Your changes are kept, and saved again at the "
                                           "next change or when you quit.")));
        return false;
    }
    m_dirty = false;
    m_fileSaved = true;
    return true;
}

void Database::setFailureHandler(FailureHandler handler)
{
    m_failures.setHandler(std::move(handler));
}

void Database::report(const QString& message, const QString& detail)
{
    m_failures.report(message, detail);
}

qsizetype Database::indexOfArchiveUrl(const QUrl& archive, const QUrl& feed) const
{
    qsizetype found = -1;
    for (qsizetype i = 0; archive.isValid() && i < m_data.size(); ++i) {
        const LevelEntry& entry = m_data.at(i);
        if (urlForKey(entry, LevelKey::urlDownload) != archive)
            continue;
        if (feed.isValid() && urlForKey(entry, LevelKey::urlSource) == feed)
            return i;
        if (found < 0)
            found = i;
    }
    return found;
}

void Database::replaceObjectAtIndex(qsizetype index, const LevelEntry& entry)
{
    m_data[index] = entry;
}

void Database::removeObjectsAtIndexes(const QList<qsizetype>& indexes)
{
    if (indexes.isEmpty())
        return;
    QList<bool> doomed(m_data.size(), false);
    for (qsizetype index : indexes) {
        if (index >= 0 && index < m_data.size())
            doomed[index] = true;
    }
    qsizetype kept = 0;
    for (qsizetype i = 0; i < m_data.size(); ++i) {
        if (doomed.at(i))
            continue;
        if (kept != i)
            m_data[kept] = std::move(m_data[i]);
        ++kept;
    }
    m_data.resize(kept);
}

void Database::sortUsingDescriptors(const QList<SortDescriptor>& descriptors)
{
    // The source column shows a feed's name, and sorts by what it shows.
    QList<SortDescriptor> sorting = descriptors;
    for (SortDescriptor& descriptor : sorting) {
        if (descriptor.key == u"source" && !descriptor.valueOf)
            descriptor.valueOf = [this](const QVariantMap& entry) {
                const QString source = entry.value(LevelKey::urlSource).toString();
                return QVariant(m_repositories ? m_repositories->getNameForURL(source) : source);
            };
    }
    SortOrder::sortRecords(m_data, sorting);
}

void Database::removeEntriesMatching(const QString& key, const QUrl& url, const QString& keepKey)
{
    if (!url.isValid())
        return;
    // Entries of one feed or folder share a handful of distinct strings: parse each once.
    QHash<QString, bool> matches;
    QList<qsizetype> doomed;
    for (qsizetype i = 0; i < m_data.size(); ++i) {
        const QString text = m_data.at(i).value(key).toString();
        auto it = matches.constFind(text);
        if (it == matches.cend())
            it = matches.insert(text, urlForKey(m_data.at(i), key) == url);
        if (!*it)
            continue;
        if (!m_data.at(i).value(keepKey).toString().isEmpty()) {
            LevelEntry kept = m_data.at(i);
            kept.insert(key, QString());
            m_data[i] = kept;
        } else {
            doomed.append(i);
        }
    }
    if (doomed.isEmpty())
        return;
    removeObjectsAtIndexes(doomed);
    m_dirty = true;
}

void Database::removeEntriesForSource(const QUrl& source)
{
    removeEntriesMatching(LevelKey::urlSource, source, LevelKey::urlInstall);
}

void Database::removeEntriesForInstallDir(const QUrl& folder)
{
    removeEntriesMatching(LevelKey::urlInstall, folder, LevelKey::urlSource);
}

void Database::removeEntry(int row)
{
    // A row the table no longer has (the catalogue changed under a sheet) deletes nothing.
    if (row < 0 || row >= m_data.size())
        return;
    const LevelEntry entry = m_data.at(row);
    const QString install = entry.value(LevelKey::urlInstall).toString();
    // A folder already gone is simply not moved; the entry goes all the same.
    if (!install.isEmpty())
        moveToTrash(QUrl(install));
    if (!entry.value(LevelKey::urlSource).toString().isEmpty()) {
        LevelEntry downloadable = entry;
        downloadable.insert(LevelKey::urlInstall, QString());
        m_data[row] = downloadable;
    } else {
        m_data.removeAt(row);
    }
    m_dirty = true;
    save();
}

QVariant Database::objectValueForTableColumn(const QString& columnIdentifier, int row) const
{
    const LevelEntry& entry = m_data.at(row);
    if (columnIdentifier == u"source") {
        const QString source = entry.value(LevelKey::urlSource).toString();
        return m_repositories ? m_repositories->getNameForURL(source) : source;
    }
    return entry.value(columnIdentifier);
}
