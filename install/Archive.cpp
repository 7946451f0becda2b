#include "install/Archive.h"

#include <QFile>
#include <QStringDecoder>

#include <minizip/unzip.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Buffers are this many of the file's preferred blocks. A single block (4 KiB on ext4) costs an
// inflate call and a write, or a read, for every 4 KiB: a tenth more time for unpacking and for
// hashing. 16 blocks (64 KiB) hash fastest of 1 to 64, as larger buffers drop out of the cache,
// and unpack as fast as any. bench/archive builds this file a second time with 1 to compare.
#ifndef QUILLMOR_ARCHIVE_BLOCKS
#define QUILLMOR_ARCHIVE_BLOCKS 16
#endif

namespace {

constexpr size_t kBlocksPerBuffer = QUILLMOR_ARCHIVE_BLOCKS;
constexpr int kDigestSize = 20;

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

// Deleters that let the archive handle and the digest context go on every early return.
struct ZipCloser
{
    void operator()(unzFile zip) const { unzClose(zip); }
};

struct DigestFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
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

// An entry name stays inside the level folder only as a single plain file name. A name with
// a zero byte inside was cut short by the reader and is not the recorded name.
bool isPlainFileName(const QByteArray& name, quint64 recordedLength)
{
    if (name.isEmpty() || quint64(name.size()) != recordedLength || name.contains('/') ||
        name == "." || name == "..")
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(name);
    return !utf8.hasError();
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

bool copyEntryData(unzFile zip, quint64 size, int fd, const struct stat& status)
{
    size_t bufferSize = 0;
    const auto buffer = allocateBuffer(status, bufferSize);
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return false;
    bool ok = true;
    for (quint64 remaining = size; ok && remaining > 0;) {
        const auto chunk = unsigned(std::min<quint64>(remaining, bufferSize));
        const int read = unzReadCurrentFile(zip, buffer.get(), chunk);
        ok = read > 0 && writeAll(fd, buffer.get(), size_t(read));
        remaining -= ok ? quint64(read) : 0;
    }
    // The reader compares the CRC-32 here, once every recorded byte has been read.
    return unzCloseCurrentFile(zip) == UNZ_OK && ok;
}

// Removes the file left by a failed entry, unless something else has taken its name since.
void removeOwnFile(int dir, const QByteArray& name, const struct stat& own)
{
    struct stat now;
    if (::fstatat(dir, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == own.st_dev && now.st_ino == own.st_ino)
        ::unlinkat(dir, name.constData(), 0);
}

bool unpackEntry(unzFile zip, int dir, const QByteArray& name, quint64 size)
{
    // O_NOFOLLOW keeps a planted link from being written through; O_NONBLOCK keeps a planted
    // pipe from hanging the open. Truncation waits for the lock, so that a reader holding a
    // shared lock never sees its file cut short under it.
    FileDescriptor file(::openat(dir, name.constData(),
                                 O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0444));
    if (!file.isValid() || !lockExclusive(file.get()))
        return false;
    struct stat status;
    // A second link to the file would carry the new bytes out of the folder. A fresh file is
    // left untruncated: on ext4 a truncation marks the file to be flushed when it is closed.
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
        (status.st_size != 0 && ::ftruncate(file.get(), 0) != 0))
        return false;
    if (copyEntryData(zip, size, file.get(), status) && file.close())
        return true;
    removeOwnFile(dir, name, status);
    return false;
}

} // namespace

bool unzipLevel(const QUrl& archive, const QUrl& folder)
{
    const QByteArray archivePath = localPath(archive);
    if (archivePath.isEmpty())
        return true;
    const std::unique_ptr<void, ZipCloser> zip(unzOpen64(archivePath.constData()));
    // An archive whose first entry can't be reached is unreadable as a whole: nothing to write.
    if (!zip || unzGoToFirstFile(zip.get()) != UNZ_OK)
        return true;

    const QByteArray folderPath = localPath(folder);
    const FileDescriptor dir(
        folderPath.isEmpty() ? -1
                             : ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int move = UNZ_OK;
    for (; move == UNZ_OK; move = unzGoToNextFile(zip.get())) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        QByteArray name(qsizetype(info.size_filename) + 1, '\0');
        if (unzGetCurrentFileInfo64(zip.get(), nullptr, name.data(), uLong(name.size()), nullptr, 0,
                                    nullptr, 0) != UNZ_OK)
            return false;
        name.truncate(qsizetype(std::strlen(name.constData())));
        if (!dir.isValid() || !isPlainFileName(name, info.size_filename) ||
            !unpackEntry(zip.get(), dir.get(), name, info.uncompressed_size))
            return false;
    }
    // Anything but the end of the list is a central directory that breaks off.
    return move == UNZ_END_OF_LIST_OF_FILE;
}

std::optional<QByteArray> calcSHA1(const QUrl& file)
{
    const QByteArray path = localPath(file);
    if (path.isEmpty())
        return std::nullopt;
    const FileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (!fd.isValid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1)
        return std::nullopt;
    size_t bufferSize = 0;
    const auto buffer = allocateBuffer(status, bufferSize);
    // The size taken at the opening is the extent hashed; a file that shrinks meanwhile has no
    // digest rather than the digest of a part of it.
    for (off_t remaining = status.st_size; remaining > 0;) {
        const ssize_t read =
            ::read(fd.get(), buffer.get(), size_t(std::min<off_t>(remaining, off_t(bufferSize))));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0 || EVP_DigestUpdate(context.get(), buffer.get(), size_t(read)) != 1)
            return std::nullopt;
        remaining -= read;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || length != kDigestSize)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(digest), kDigestSize);
}
