#pragma once

// The file work of an install: unpacking a level archive into its folder and taking the
// digest of an archive. Both run synchronously on file URLs and never hold a file whole.

#include <QByteArray>
#include <QUrl>

#include <optional>

// Unpacks the archive's entries, in the order of its central directory, as files side by side
// in the folder, which must exist. Files are created read-only (0444 under the umask) and
// written under an exclusive advisory lock. The unpacking stops with false at the first entry
// that cannot be written whole: a name with a folder part, "..", or bytes that are not UTF-8,
// a name taken by something that is not a writable file of its own, a failed write, or entry
// data that is damaged or ends early. That entry's file is removed; the ones before it stay.
// An archive that cannot be opened, or holds no entries, leaves the folder as it was and gives
// true: the caller judges an install by what the folder holds.
bool unzipLevel(const QUrl& archive, const QUrl& folder);

// The SHA-1 digest of the file as 20 raw bytes; none when the file cannot be read whole.
std::optional<QByteArray> calcSHA1(const QUrl& file);
