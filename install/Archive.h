#pragma once

// The file work of an install: unpacking a level archive into its folder and taking the
// digest of an archive. Both run synchronously on file URLs and never hold a file whole; both
// can run on a worker thread, reporting progress and stopping when asked to.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Lets long file work report how far it got and be called off from another thread. Both are
// optional; isCancelled is asked between entries and between buffers, so it must be cheap.
// The work may call them from threads of its own, but never two calls at once.
struct WorkControl
{
    std::function<bool()> isCancelled;
    std::function<void(quint64 done, quint64 total)> progress;
};

// How an unpacking ended, with the reason in words a person can read.
struct UnzipReport
{
    enum Outcome
    {
        Unpacked,     // every entry written
        NotAnArchive, // missing, no zip archive, or one without entries: nothing written
        Refused,      // nothing written: the entries do not fit, the list of entries is damaged,
                      // or the folder cannot be used (an archive changed while it is read may
                      // break off after some entries were written)
        EntryFailed,  // stopped at `entry`; the entries before it stay
        Cancelled,    // called off; the entry being written was removed, those before it stay
    };
    Outcome outcome = Unpacked;
    QString entry;  // the name of the entry it stopped at, for EntryFailed
    QString reason; // a translated sentence; empty for Unpacked and Cancelled
};

// Unpacks the archive's entries as files side by side in the folder, which must exist: on a few
// threads where the machine has the cores, in any order, yet with the result the entries
// written one by one in the order of the central directory would give. Before anything is written the sizes the archive declares
// are added up, and an archive whose entries would not leave a margin of free space on the
// folder's filesystem is refused. Files are created read-only (0444 under the umask) and
// written under an exclusive advisory lock. The unpacking stops at the first entry that cannot
// be written whole: a name with a folder part (a slash or a backslash), "..", a control
// character or bytes that are not UTF-8, a name taken by something that is not a writable file
// of its own, a failed write, or entry data that is damaged or does not match its declared
// size. That entry's file is removed; the ones before it stay.
UnzipReport unzipLevelReport(const QUrl& archive, const QUrl& folder,
                             const WorkControl& control = {});

// The same as a yes or no: false when the unpacking was refused or stopped at an entry. An
// archive that cannot be opened, or holds no entries, leaves the folder as it was and gives
// true: the caller judges an install by what the folder holds.
bool unzipLevel(const QUrl& archive, const QUrl& folder);

// The SHA-1 digest of the file as 20 raw bytes; none when the file cannot be read whole or the
// work was called off.
std::optional<QByteArray> calcSHA1(const QUrl& file, const WorkControl& control = {});
