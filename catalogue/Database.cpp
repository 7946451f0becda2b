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

// The catalogue as stored, or none when the file holds anything but a list of records.
std::optional<QList<LevelEntry>> readCatalogue(const QString& path)
{
    const auto stored = PropertyList::readFile(path);
    if (!stored || stored->metaType().id() != QMetaType::QVariantList)
        return std::nullopt;
    QList<LevelEntry> entries;
    const QVariantList list = stored->toList();
    entries.reserve(qMax<qsizetype>(list.size(), 16));
    for (const QVariant& value : list) {
        if (value.metaType().id() != QMetaType::QVariantMap)
            return std::nullopt;
        entries.append(value.toMap());
    }
    return entries;
}

// A file we cannot read may be a catalogue from a newer launcher or one a crash damaged;
// writing the fresh catalogue over it would lose the player's levels for good.
void setAsideUnreadable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    const QString aside = path + QStringLiteral(".unreadable");
    const QFileInfo old(aside);
    if (old.isDir() && !old.isSymLink())
        QDir(aside).removeRecursively();
    else
        QFile::remove(aside);
    if (info.isDir() && !info.isSymLink())
        QDir().rename(path, aside);
    else
        QFile::rename(path, aside);
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
    auto stored = path.isEmpty() ? std::nullopt : readCatalogue(path);
    if (stored) {
        m_data = std::move(*stored);
        m_dirty = false;
    } else {
        if (!path.isEmpty())
            setAsideUnreadable(path);
        m_data.clear();
        m_data.reserve(16);
        m_dirty = true;
    }

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
    save();
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
    for (const LevelEntry& entry : std::as_const(m_data)) {
        if (entry.value(LevelKey::urlInstall).toString().isEmpty() &&
            entry.value(LevelKey::guid).toString().isEmpty())
            return;
    }

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
    QVariantList list;
    list.reserve(m_data.size());
    for (const LevelEntry& entry : std::as_const(m_data))
        list.append(entry);
    // A failed write leaves the file as it was; the catalogue stays dirty, so the next save
    // tries again rather than losing what this one held.
    QString reason;
    if (!PropertyList::writeFile(path, list, &reason)) {
        report(localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level catalogue could not be saved.")),
               localizedString(QT_TRANSLATE_NOOP(
                                   "Quillmor", "%1: %2\n\nYour changes are kept, and saved again "
                                               "at the next change or when you quit."))
                   .arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    m_dirty = false;
    return true;
}

void Database::setFailureHandler(FailureHandler handler)
{
    m_failureHandler = std::move(handler);
    if (!m_failureHandler)
        return;
    const auto pending = std::exchange(m_pendingFailures, {});
    for (const auto& [message, detail] : pending)
        m_failureHandler(message, detail);
}

void Database::report(const QString& message, const QString& detail)
{
    if (m_failureHandler)
        m_failureHandler(message, detail);
    else
        m_pendingFailures.append({message, detail});
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
