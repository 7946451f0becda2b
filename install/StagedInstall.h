#pragma once

// The steps of an install that need no window: choosing the level folder, unpacking the
// archive into a hidden staging folder beside it, checking what arrived, and swapping it into
// place, so that an installed level is never left broken by an archive that turns out bad.
//
// InstallJob (flows/) drives them, one install at a time, on the main thread except where a
// future runs the work on a worker:
//   1. A downloaded archive's "sha1Install" is the digest its transfer took as the bytes
//      arrived; an archive on this computer is hashed by startCalcSHA1(archive) (none: the
//      install ends and says the archive could not be read).
//   2. chooseInstallTarget(record): Replace (an update or a reinstall: no question) and Free go
//      on; Taken asks "Directory exists", where "New Directory" takes newInstallDirectory() and
//      "Overwrite" keeps the folder after Database::removeEntriesForInstallDir; Unusable ends
//      the install with its reason.
//   3. startStaging(archive, folder). A cancel is QFuture::cancel(), which leaves the disk as
//      it was; a cancelled future has no result to act on. A result that is not staged carries
//      the reason the install failed, and nothing changed on disk.
//   4. swapIntoPlace(staged) right away: the staged folder takes the level's name and the old
//      one goes to the Trash. Then the install is recorded and saved.
// Both futures report progress from 0 to kProgressRange.

#include "install/Archive.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <optional>

inline constexpr int kProgressRange = 1000;

struct InstallTarget
{
    enum Kind
    {
        Free,     // nothing there yet
        Replace,  // the record's own level folder: an update or a reinstall
        Taken,    // something else holds the name: ask
        Unusable, // no folder to install into; see reason
    };
    Kind kind = Unusable;
    QUrl folder;    // a directory URL inside the game level directory
    QString reason; // for Unusable, translated
};

// Where the record's archive ("urlZip") goes: the record's "urlInstall" when it has one, which
// must lie in the game level directory, otherwise the folder named after the archive.
InstallTarget chooseInstallTarget(const QVariantMap& record);

// The first numbered folder beside the archive's own that nothing holds: Castle2, Castle3, ...
// None without a game level directory or a usable archive name.
QUrl newInstallDirectory(const QUrl& archive);

// An archive unpacked and checked in its staging folder, not yet in place.
struct StagedLevel
{
    QUrl folder;    // where it goes
    QString staged; // the unpacked level's path; empty when nothing was staged
    QString reason; // why nothing was staged, translated; empty when staged or cancelled
    bool isStaged() const { return !staged.isEmpty(); }
};

// Unpacks the archive into a new hidden folder beside the target and keeps it only when every
// entry was written, "levellist.dat" is there and the files are on the disk. Hidden folders
// left by an earlier run that ended without cleaning up are cleared first (see
// clearLeftoverStaging). A failure or a cancel removes what it made.
StagedLevel stageLevel(const QUrl& archive, const QUrl& folder, const WorkControl& control = {});

// Puts a staged level in place: an existing item at the target is swapped out in one step and
// goes to the Trash, recorded as taken from the target. Where the filesystem refuses the
// rename flags, the old level goes to the Trash first and the new one is moved without ever
// replacing what appeared meanwhile. None on success, otherwise the reason; the target is then
// as it was.
std::optional<QString> swapIntoPlace(const StagedLevel& level);

// Clears the staging folders that runs which have ended left in the game level directory: an
// old level that a swap had put there goes to the Trash as taken from its folder, a new level
// that never got into place is removed.
void clearLeftoverStaging();

// Removes a staged level that will not be put in place.
void discardStaged(const StagedLevel& level);

// The same work on a worker thread, with progress and cancel through the future.
QFuture<StagedLevel> startStaging(const QUrl& archive, const QUrl& folder);
QFuture<std::optional<QByteArray>> startCalcSHA1(const QUrl& file);
