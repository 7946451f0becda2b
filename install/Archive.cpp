#include "install/Archive.h"

#include "platform/Localization.h"
#include "transfer/Sha1.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <QSet>
#include <QStringDecoder>
#include <QThread>
#include <QtGlobal>

#include <minizip/unzip.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

// Buffers are this many of the file's preferred blocks. A single block (4 KiB on ext4) costs an
// inflate call and a write, or a read, for every 4 KiB: a tenth more time for unpacking and for
// hashing. 16 blocks (64 KiB) hash fastest of 1 to 64, as larger buffers drop out of the cache,
// and unpack as fast as any. bench/archive builds this file a second time with 1 to compare.
#ifndef QUILLMOR_ARCHIVE_BLOCKS
#define QUILLMOR_ARCHIVE_BLOCKS 16
#endif

// At most this many threads unpack an archive, fewer where the machine has fewer cores: past
// four, the disk rather than inflating sets the pace. bench/archive builds this file with 1 too.
#ifndef QUILLMOR_ARCHIVE_WORKERS
#define QUILLMOR_ARCHIVE_WORKERS 4
#endif

namespace {

constexpr size_t kBlocksPerBuffer = QUILLMOR_ARCHIVE_BLOCKS;

// Owns a file descriptor, so that every early return closes it.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Closes now and tells whether the kernel accepted the last of the data.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Lets the archive handle go on every early return.
struct ZipCloser
{
    void operator()(unzFile zip) const { unzClose(zip); }
};

QByteArray localPath(const QUrl& url)
{
    return QFile::encodeName(url.toLocalFile());
}

std::unique_ptr<char[]> allocateBuffer(const struct stat& status, size_t& size)
{
    const size_t block = status.st_blksize > 0 ? size_t(status.st_blksize) : 4096;
    size = block * kBlocksPerBuffer;
    return std::make_unique_for_overwrite<char[]>(size);
}

bool isCancelled(const WorkControl& control)
{
    return control.isCancelled && control.isCancelled();
}

void reportProgress(const WorkControl& control, quint64 done, quint64 total)
{
    if (control.progress)
        control.progress(done, total);
}

// An entry name stays inside the level folder only as a single plain file name. A zero byte
// would cut the name short where the file is opened. A backslash is a folder part written the
// Windows way; control characters make names no level needs and that a person cannot read
// back. Gives why the name is refused, or none.
const char* nameFault(const QByteArray& name)
{
    if (name.isEmpty())
        return QT_TRANSLATE_NOOP("Quillmor", "its name is empty");
    if (name.contains('/') || name.contains('\\') || name == "." || name == "..")
        return QT_TRANSLATE_NOOP("Quillmor", "its name has a folder part");
    if (std::any_of(name.cbegin(), name.cend(),
                    [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; }))
        return QT_TRANSLATE_NOOP("Quillmor", "its name holds a control character");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(name);
    return utf8.hasError() ? QT_TRANSLATE_NOOP("Quillmor", "its name is not UTF-8 text") : nullptr;
}

// The name as a person can read it in a message, whatever bytes it holds.
QString readableName(const QByteArray& name)
{
    QString text = QString::fromUtf8(name);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

bool lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// What became of one entry. A system error keeps its errno for the message.
struct EntryResult
{
    enum Kind
    {
        Written,
        SystemError,
        Damaged,
        Cancelled
    };
    Kind kind = Written;
    int error = 0;
};

EntryResult systemError()
{
    return {EntryResult::SystemError, errno};
}

// How the writing of an entry learns that it must stop, and tells of the bytes it wrote.
struct Pace
{
    std::function<bool()> stopped;
    std::function<void(quint64 bytes)> wrote;
};

EntryResult copyEntryData(unzFile zip, quint64 size, int fd, const struct stat& status,
                          const Pace& pace)
{
    size_t bufferSize = 0;
    const auto buffer = allocateBuffer(status, bufferSize);
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return {EntryResult::Damaged};
    EntryResult result;
    for (quint64 remaining = size; remaining > 0;) {
        if (pace.stopped()) {
            result = {EntryResult::Cancelled};
            break;
        }
        const auto chunk = unsigned(std::min<quint64>(remaining, bufferSize));
        const int read = unzReadCurrentFile(zip, buffer.get(), chunk);
        if (read <= 0) {
            result = {EntryResult::Damaged};
            break;
        }
        if (!writeAll(fd, buffer.get(), size_t(read))) {
            result = systemError();
            break;
        }
        remaining -= quint64(read);
        pace.wrote(quint64(read));
    }
    // The reader compares the CRC-32 here, once every recorded byte has been read: data that
    // runs past the recorded size or stops short of it fails the comparison.
    if (unzCloseCurrentFile(zip) != UNZ_OK && result.kind == EntryResult::Written)
        result = {EntryResult::Damaged};
    return result;
}

// Removes the file left by a failed entry, unless something else has taken its name since.
void removeOwnFile(int dir, const QByteArray& name, const struct stat& own)
{
    struct stat now;
    if (::fstatat(dir, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == own.st_dev && now.st_ino == own.st_ino)
        ::unlinkat(dir, name.constData(), 0);
}

// Writes the entry the reader stands at into the folder. The written file's identity goes to
// own, for removing it later should a failure further up the list take it back.
EntryResult unpackEntry(unzFile zip, int dir, const QByteArray& name, quint64 size,
                        const Pace& pace, struct stat* own = nullptr)
{
    // O_NOFOLLOW keeps a planted link from being written through; O_NONBLOCK keeps a planted
    // pipe from hanging the open. Truncation waits for the lock, so that a reader holding a
    // shared lock never sees its file cut short under it.
    FileDescriptor file(::openat(dir, name.constData(),
                                 O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0444));
    if (!file.isValid() || !lockExclusive(file.get()))
        return systemError();
    struct stat status;
    if (::fstat(file.get(), &status) != 0)
        return systemError();
    // A second link to the file would carry the new bytes out of the folder. A fresh file is
    // left untruncated: on ext4 a truncation marks the file to be flushed when it is closed.
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1)
        return {EntryResult::SystemError, EEXIST};
    if (status.st_size != 0 && ::ftruncate(file.get(), 0) != 0)
        return systemError();
    EntryResult result = copyEntryData(zip, size, file.get(), status, pace);
    if (result.kind == EntryResult::Written && !file.close())
        result = systemError();
    if (result.kind != EntryResult::Written)
        removeOwnFile(dir, name, status);
    else if (own)
        *own = status;
    return result;
}

// What the archive's entries declare, walked once before anything is written.
struct Declared
{
    bool whole = false; // the list of entries reached its end
    quint64 bytes = 0;  // the sum of the uncompressed sizes
    quint64 room = 0;   // the same with each file rounded up to whole blocks
};

quint64 saturatingAdd(quint64 a, quint64 b)
{
    return b > std::numeric_limits<quint64>::max() - a ? std::numeric_limits<quint64>::max()
                                                       : a + b;
}

Declared declaredSizes(unzFile zip, quint64 block)
{
    Declared declared;
    int move = unzGoToFirstFile(zip);
    for (; move == UNZ_OK; move = unzGoToNextFile(zip)) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return declared;
        const quint64 size = info.uncompressed_size;
        declared.bytes = saturatingAdd(declared.bytes, size);
        declared.room =
            saturatingAdd(declared.room, saturatingAdd(size, block - 1) / block * block);
    }
    declared.whole = move == UNZ_END_OF_LIST_OF_FILE;
    return declared;
}

// Room left free beyond what the archive declares, for the catalogue, the Trash and whatever
// else is writing to the same disk meanwhile.
constexpr quint64 kSpaceMargin = 32ull << 20;

// Why the declared sizes do not fit the folder's filesystem, or none. A filesystem that does
// not say how much is free lets the writes find out.
std::optional<QString> lackOfSpace(int dir, const Declared& declared)
{
    struct statvfs fs;
    if (::fstatvfs(dir, &fs) != 0 || fs.f_frsize == 0)
        return std::nullopt;
    const quint64 available = quint64(fs.f_bavail) * fs.f_frsize;
    if (declared.room <= available && available - declared.room >= kSpaceMargin)
        return std::nullopt;
    // The figure compared is the one told: a level that would fit but for the margin must not
    // read as needing less than is free.
    const QLocale locale;
    const auto size = [&locale](quint64 bytes) {
        return locale.formattedDataSize(qint64(std::min<quint64>(bytes, INT64_MAX)));
    };
    return localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                             "There is not enough free space: the level needs %1, "
                                             "%2 of it to keep free for other programs, and %3 "
                                             "are free."))
        .arg(size(saturatingAdd(declared.room, kSpaceMargin)), size(kSpaceMargin), size(available));
}

UnzipReport refused(const char* english)
{
    return {UnzipReport::Refused, {}, localizedString(english)};
}

UnzipReport entryFailed(const QByteArray& name, const QString& why)
{
    const QString entry = readableName(name);
    return {
        UnzipReport::EntryFailed, entry,
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The entry \"%1\" could not be written: %2."))
            .arg(entry, why)};
}

UnzipReport entryFailed(const QByteArray& name, const EntryResult& result)
{
    if (result.kind == EntryResult::Cancelled)
        return {UnzipReport::Cancelled, {}, {}};
    if (result.kind == EntryResult::Damaged)
        return entryFailed(name,
                           localizedString(QT_TRANSLATE_NOOP("Quillmor", "its data is damaged")));
    return entryFailed(name, qt_error_string(result.error));
}

// An entry of the archive's list, as the unpacking needs it.
struct ListedEntry
{
    QByteArray name;
    quint64 size = 0;
    unz64_file_pos place{};
};

UnzipReport unpackInOrder(unzFile zip, int dir, const QList<ListedEntry>& entries,
                          const Declared& declared, const WorkControl& control)
{
    quint64 done = 0;
    const Pace pace{[&control] { return isCancelled(control); },
                    [&](quint64 bytes) {
                        done += bytes;
                        reportProgress(control, done, declared.bytes);
                    }};
    for (const ListedEntry& entry : entries) {
        if (isCancelled(control))
            return {UnzipReport::Cancelled, {}, {}};
        unz64_file_pos place = entry.place;
        if (unzGoToFilePos64(zip, &place) != UNZ_OK)
            return refused(
                QT_TRANSLATE_NOOP("Quillmor", "The archive's list of entries is damaged."));
        const EntryResult result = unpackEntry(zip, dir, entry.name, entry.size, pace);
        if (result.kind != EntryResult::Written)
            return entryFailed(entry.name, result);
    }
    return {};
}

// The entries inflated on a few threads, each with its own reader, taking the next entry of
// the list as it gets free. The folder ends as the one writer in order leaves it: when an
// entry fails, the entries before it are still written, those after it taken back, and the
// failure told is that of the first entry in the list that failed. The threads take turns to
// report progress and ask whether to stop.
UnzipReport unpackOnWorkers(const QByteArray& archivePath, int dir,
                            const QList<ListedEntry>& entries, const Declared& declared,
                            const WorkControl& control, int workers)
{
    const qsizetype count = entries.size();
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> firstFailed{count};
    std::atomic<bool> cancelled{false};
    quint64 done = 0; // under turns
    std::mutex turns;
    std::vector<EntryResult> results(static_cast<size_t>(count), {EntryResult::Cancelled});
    std::vector<std::optional<struct stat>> written(static_cast<size_t>(count));

    const auto work = [&] {
        const std::unique_ptr<void, ZipCloser> zip(unzOpen64(archivePath.constData()));
        for (qsizetype index = next++; index < count && !cancelled && index < firstFailed;
             index = next++) {
            const ListedEntry& entry = entries.at(index);
            const Pace pace{[&, index] {
                                if (!cancelled) {
                                    const std::lock_guard<std::mutex> turn(turns);
                                    if (isCancelled(control))
                                        cancelled = true;
                                }
                                return cancelled || index > firstFailed;
                            },
                            [&](quint64 bytes) {
                                const std::lock_guard<std::mutex> turn(turns);
                                done += bytes;
                                reportProgress(control, done, declared.bytes);
                            }};
            unz64_file_pos place = entry.place;
            EntryResult& result = results[size_t(index)];
            struct stat own;
            if (!zip || unzGoToFilePos64(zip.get(), &place) != UNZ_OK)
                result = {EntryResult::Damaged};
            else
                result = unpackEntry(zip.get(), dir, entry.name, entry.size, pace, &own);
            if (result.kind == EntryResult::Written) {
                written[size_t(index)] = own;
            } else if (result.kind != EntryResult::Cancelled) {
                qsizetype first = firstFailed;
                while (index < first && !firstFailed.compare_exchange_weak(first, index)) {
                }
            }
            // With a worker on every core, the window's thread waits for one whenever it
            // wakes; each file done offers the core, so that it never waits long.
            std::this_thread::yield();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(workers));
    for (int n = 0; n < workers; ++n)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();

    if (cancelled)
        return {UnzipReport::Cancelled, {}, {}};
    const qsizetype failed = firstFailed;
    if (failed == count)
        return {};
    for (qsizetype later = failed + 1; later < count; ++later) {
        if (const std::optional<struct stat>& own = written[size_t(later)])
            removeOwnFile(dir, entries.at(later).name, *own);
    }
    return entryFailed(entries.at(failed).name, results[size_t(failed)]);
}

} // namespace

UnzipReport unzipLevelReport(const QUrl& archive, const QUrl& folder, const WorkControl& control)
{
    const QByteArray archivePath = localPath(archive);
    const std::unique_ptr<void, ZipCloser> zip(
        archivePath.isEmpty() ? nullptr : unzOpen64(archivePath.constData()));
    // An archive whose first entry can't be reached is unreadable as a whole (minizip's
    // reader counts an archive without entries among them): nothing to write.
    if (!zip || unzGoToFirstFile(zip.get()) != UNZ_OK)
        return {UnzipReport::NotAnArchive,
                {},
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "The file is not a zip archive."))};

    const QByteArray folderPath = localPath(folder);
    const FileDescriptor dir(
        folderPath.isEmpty() ? -1
                             : ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat dirStatus;
    if (!dir.isValid() || ::fstat(dir.get(), &dirStatus) != 0)
        return refused(QT_TRANSLATE_NOOP("Quillmor", "The level folder cannot be opened."));
    const quint64 block = dirStatus.st_blksize > 0 ? quint64(dirStatus.st_blksize) : 4096;
    const Declared declared = declaredSizes(zip.get(), block);
    if (!declared.whole)
        return refused(QT_TRANSLATE_NOOP("Quillmor", "The archive's list of entries is damaged."));
    if (const auto lack = lackOfSpace(dir.get(), declared))
        return {UnzipReport::Refused, {}, *lack};

    // The list of entries, read once: their names, sizes and places in the archive. The list
    // is cut at the first name that cannot be written; the entries before it are unpacked.
    QList<ListedEntry> entries;
    std::optional<std::pair<QByteArray, const char*>> badName;
    bool repeated = false;
    QSet<QByteArray> names;
    int move = unzGoToFirstFile(zip.get());
    for (; move == UNZ_OK; move = unzGoToNextFile(zip.get())) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        // The whole recorded name, zero bytes included, and a spare byte the reader may fill.
        QByteArray name(qsizetype(info.size_filename) + 1, '\0');
        unz64_file_pos place;
        if (unzGetCurrentFileInfo64(zip.get(), nullptr, name.data(), uLong(name.size()), nullptr, 0,
                                    nullptr, 0) != UNZ_OK ||
            unzGetFilePos64(zip.get(), &place) != UNZ_OK)
            break;
        name.truncate(qsizetype(info.size_filename));
        if (const char* fault = nameFault(name)) {
            badName.emplace(name, fault);
            move = UNZ_END_OF_LIST_OF_FILE;
            break;
        }
        repeated = repeated || names.contains(name);
        names.insert(name);
        entries.append({name, info.uncompressed_size, place});
    }
    // Anything but the end of the list is a central directory that changed under the reader.
    if (move != UNZ_END_OF_LIST_OF_FILE)
        return refused(QT_TRANSLATE_NOOP("Quillmor", "The archive's list of entries is damaged."));

    // A name that comes twice is written twice, the later entry last, as the list orders them:
    // one writer keeps that order.
    const int workers =
        repeated
            ? 1
            : int(std::clamp<qsizetype>(QThread::idealThreadCount(), 1, QUILLMOR_ARCHIVE_WORKERS));
    const UnzipReport report =
        workers == 1 || entries.size() < 2
            ? unpackInOrder(zip.get(), dir.get(), entries, declared, control)
            : unpackOnWorkers(archivePath, dir.get(), entries, declared, control,
                              int(std::min<qsizetype>(workers, entries.size())));
    if (report.outcome != UnzipReport::Unpacked || !badName)
        return report;
    return entryFailed(badName->first, localizedString(badName->second));
}

bool unzipLevel(const QUrl& archive, const QUrl& folder)
{
    const UnzipReport report = unzipLevelReport(archive, folder);
    return report.outcome == UnzipReport::Unpacked || report.outcome == UnzipReport::NotAnArchive;
}

std::optional<QByteArray> calcSHA1(const QUrl& file, const WorkControl& control)
{
    const QByteArray path = localPath(file);
    if (path.isEmpty())
        return std::nullopt;
    const FileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (!fd.isValid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    Sha1 digest;
    size_t bufferSize = 0;
    const auto buffer = allocateBuffer(status, bufferSize);
    // The size taken at the opening is the extent hashed; a file that shrinks meanwhile has no
    // digest rather than the digest of a part of it.
    for (off_t remaining = status.st_size; remaining > 0;) {
        if (isCancelled(control))
            return std::nullopt;
        const ssize_t read =
            ::read(fd.get(), buffer.get(), size_t(std::min<off_t>(remaining, off_t(bufferSize))));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return std::nullopt;
        digest.addData(QByteArrayView(buffer.get(), read));
        remaining -= read;
        reportProgress(control, quint64(status.st_size - remaining), quint64(status.st_size));
    }
    return digest.result();
}
