#pragma once

// The catalogue: every level the launcher knows, in the level table's row order, and the
// file "database.plist" that keeps it between runs. It discovers level folders on the first
// load, merges parsed feeds and finished installs, and answers the level table's questions.
// Changes that must reach the disk set the dirty flag; only save() writes.

#include "catalogue/LevelEntry.h"
#include "install/Locations.h"
#include "platform/FailureReports.h"
#include "platform/SortDescriptor.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>

class Repositories;

// The catalogue file in the application directory; empty when there is no such directory.
QString getDatabasePath();

class Database
{
public:
    Database();

    void setRepositories(Repositories* repositories) { m_repositories = repositories; }
    Repositories* repositories() const { return m_repositories; }
    // The moment merges and installs date their changes with; the wall clock by default.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // What the player is told when the catalogue cannot be read or saved: a short message and
    // the detail (the reason, and what became of the file). Problems met before a handler is
    // set wait for it.
    using FailureHandler = FailureReports::Handler;
    void setFailureHandler(FailureHandler handler);

    // Loads the catalogue once; later calls do nothing.
    void firstLoad();
    void load();
    // False when the catalogue did not reach the disk; it then stays dirty, so the next save
    // tries again, and the failure has been told through the handler. True when there was
    // nothing to save.
    bool save();
    bool isDirty() const { return m_dirty; }

    qsizetype count() const { return m_data.size(); }
    LevelEntry objectAtIndex(qsizetype index) const { return m_data.at(index); }
    // The level's index now, -1 when it left the catalogue. A level found by its folder that
    // a merge has since tied to a feed is still found by that folder.
    qsizetype indexOfLevel(const LevelIdentity& level) const;
    // The level installed in the folder, -1 for none.
    qsizetype indexOfInstallFolder(const QUrl& folder) const
    {
        return indexOfLevel(LevelIdentity{{}, {}, absoluteString(folder)});
    }
    // The first level whose archive is downloaded from this address, one the feed offers
    // before any other; -1 for none.
    qsizetype indexOfArchiveUrl(const QUrl& archive, const QUrl& feed = {}) const;
    void replaceObjectAtIndex(qsizetype index, const LevelEntry& entry);
    // Any order, repeats allowed; the list is compacted in one pass.
    void removeObjectsAtIndexes(const QList<qsizetype>& indexes);
    void sortUsingDescriptors(const QList<SortDescriptor>& descriptors);

    void removeEntriesForSource(const QUrl& source);
    void removeEntriesForInstallDir(const QUrl& folder);
    // Deletes a level: its folder goes to the Trash and the catalogue is saved.
    void removeEntry(int row);

    int numberOfRowsInTableView() const { return int(m_data.size()); }
    QVariant objectValueForTableColumn(const QString& columnIdentifier, int row) const;

    // Merges one feed's item list; the feed URL becomes each level's "urlSource".
    void updateDatabase(const QUrl& feed, const QList<FeedItem>& items);
    // Records a finished install, updating the level's entry or adding one.
    void updateInstall(const LevelEntry& record);
    LevelEntry updateEntry(const LevelEntry& entry, const LevelEntry& record) const;
    LevelEntry buildEntry(const LevelEntry& record) const;

    // A downloaded feed, handed to the source list and the merge. Bytes that form no feed
    // of the format leave both untouched and answer false.
    bool parseFileRss(const QByteArray& bytes, const QUrl& url);
    bool parseFileXml(const QByteArray& bytes, const QUrl& url);
    bool parseFileTxt(const QByteArray& bytes, const QUrl& url);
    // The time the merges and parsers date things by, to the second.
    QDateTime now() const;

private:
    // Drops the entries of one key's folder or feed, keeping those the other key still ties
    // to the catalogue with the first key cleared.
    void removeEntriesMatching(const QString& key, const QUrl& url, const QString& keepKey);
    // Reads the catalogue file, or what can be had of it, and tells what was done about a
    // file that could not be read.
    void readFile(const QString& path);
    void discoverLevelFolders();
    void ensureDefaultLevel();
    void report(const QString& message, const QString& detail);

    Repositories* m_repositories = nullptr;
    bool m_dirty = false;
    bool m_firstLoad = true;
    // False after a start that could not read the file: it is never written over then.
    bool m_writable = true;
    // The file holds a catalogue this launcher read whole or wrote, fit to be the backup.
    bool m_fileSaved = false;
    QList<LevelEntry> m_data;
    std::function<QDateTime()> m_clock;
    FailureReports m_failures;
};
