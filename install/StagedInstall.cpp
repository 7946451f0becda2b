#include "install/StagedInstall.h"

#include "install/Locations.h"
#include "platform/Localization.h"

#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <csignal>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kUrlInstall = QStringLiteral("urlInstall");
const QString kUrlZip = QStringLiteral("urlZip");

// A staging folder is named after the process that made it, so that a later install can
// tell one left by a run that has ended from one still being written. The level sits one
// folder further down: the catalogue looks for "levellist.dat" directly inside every folder
// of the level directory, hidden ones included, and must never take a staging folder for a
// level.
const QString kStagingPrefix = QStringLiteral(".quillmor-staging-");

bool isStagingName(const QString& name)
{
    return name.startsWith(kStagingPrefix);
}

// Removes a staging folder, and nothing that is not one, whatever path it is handed.
void removeStaging(const QString& path)
{
    if (QDir::isAbsolutePath(path) && isStagingName(QFileInfo(path).fileName()))
        QDir(path).removeRecursively();
}

// Beside the level in a staging folder: the device and inode of the level folder the install
// replaces. A swap keeps both, so after a run that ended between the swap and the Trash they
// tell the old level, which must not be lost, from a new one that was never put in place.
const QString kReplacedRecord = QStringLiteral("replaces");

using Identity = std::pair<quint64, quint64>;

std::optional<Identity> identityOf(const QString& path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return Identity(quint64(status.st_dev), quint64(status.st_ino));
}

std::optional<Identity> replacedIn(const QString& staging)
{
    QFile file(QDir(staging).filePath(kReplacedRecord));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> numbers = file.readAll().trimmed().split(' ');
    bool device = false, inode = false;
    const Identity identity(numbers.value(0).toULongLong(&device),
                            numbers.value(1).toULongLong(&inode));
    return device && inode && numbers.size() == 2 ? std::optional(identity) : std::nullopt;
}

// Waits until what was written through the descriptor is on the disk; false with errno set
// when the disk refused. A filesystem that cannot sync at all (some network and FUSE ones
// answer so) is taken as it is.
bool syncDescriptor(int fd, bool dataOnly)
{
    if ((dataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0)
        return true;
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP;
}

bool syncPath(const QString& path, bool dataOnly = false)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = syncDescriptor(fd, dataOnly);
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Writes the record of the folder at target into the staging folder, on the disk before the
// swap can happen; false with errno set when it could not be written.
bool noteReplaced(const QString& staging, const QString& target)
{
    const auto identity = identityOf(target);
    if (!identity || replacedIn(staging) == identity)
        return bool(identity);
    const QString path = QDir(staging).filePath(kReplacedRecord);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray text =
        QByteArray::number(identity->first) + ' ' + QByteArray::number(identity->second) + '\n';
    bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size() &&
                   syncDescriptor(fd, true);
    const int error = errno;
    written = ::close(fd) == 0 && written;
    errno = error;
    return written && syncPath(staging);
}

// A staging folder left by a run that ended. The level it holds is the one an update swapped
// out when the record names it: it goes to the Trash as taken from its folder, and its staging
// folder stays while the Trash refuses it. Anything else is a new level, half unpacked or never
// put in place, and goes for good.
void clearStaging(const QString& staging, const QString& levelDir)
{
    const auto replaced = replacedIn(staging);
    bool keep = false;
    const QDir dir(staging);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (replaced && identityOf(dir.filePath(name)) == replaced &&
            !moveToTrashFrom(dir.filePath(name), QDir(levelDir).filePath(name)))
            keep = true;
    }
    if (!keep)
        removeStaging(staging);
}

bool processHasEnded(qint64 pid)
{
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() && ::kill(pid_t(pid), 0) != 0 &&
           errno == ESRCH;
}

void removeStaleStaging(const QString& levelDir)
{
    const QDir dir(levelDir);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid =
            name.mid(kStagingPrefix.size()).section(u'-', 0, 0).toLongLong(&isNumber);
        if (isStagingName(name) && isNumber && processHasEnded(pid))
            clearStaging(dir.filePath(name), levelDir);
    }
}

// Waits until the unpacked files, and the folders that name them, are on the disk: a power cut
// after the swap must not leave the level's files empty while the old level is in the Trash.
// Writeback of every file is started before the first wait, so that the disk takes them
// together rather than one after another.
std::optional<QString> flushLevel(const QString& staged)
{
    const QDir dir(staged);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const int fd = ::open(QFile::encodeName(dir.filePath(name)).constData(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            ::close(fd);
        }
    }
    bool synced = true;
    for (qsizetype i = 0; i < names.size() && synced; ++i)
        synced = syncPath(dir.filePath(names.at(i)), true);
    synced = synced && syncPath(staged) && syncPath(QFileInfo(staged).path());
    if (synced)
        return std::nullopt;
    return localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                             "The unpacked level could not be written to the "
                                             "disk: %1."))
        .arg(qt_error_string(errno));
}

// Tests set QUILLMOR_TEST_REFUSE_RENAME_FLAGS to take the way of the filesystems (NFS, some
// encrypted homes) that refuse renameat2's flags.
int renameWithFlags(const QByteArray& from, const QByteArray& to, unsigned flags)
{
    if (qEnvironmentVariableIsSet("QUILLMOR_TEST_REFUSE_RENAME_FLAGS")) {
        errno = EINVAL;
        return -1;
    }
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags);
}

bool flagsRefused(int error)
{
    return error == EINVAL || error == ENOSYS;
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The folder's absolute path without a closing slash, or empty when it names no folder of
// its own.
QString folderPath(const QUrl& folder)
{
    if (!folder.isLocalFile())
        return {};
    const QString path = QDir::cleanPath(folder.toLocalFile());
    const QString name = QFileInfo(path).fileName();
    return !QDir::isAbsolutePath(path) || name.isEmpty() || name == u"." || name == u".."
               ? QString()
               : path;
}

StagedLevel notStaged(const QUrl& folder, const QString& reason)
{
    return {folder, {}, reason};
}

template <typename T> WorkControl controlFor(QPromise<T>& promise)
{
    promise.setProgressRange(0, kProgressRange);
    return {[&promise] { return promise.isCanceled(); },
            [&promise](quint64 done, quint64 total) {
                promise.setProgressValue(total == 0
                                             ? kProgressRange
                                             : int(double(done) / double(total) * kProgressRange));
            }};
}

} // namespace

InstallTarget chooseInstallTarget(const QVariantMap& record)
{
    const auto levelDir = getGameLevelDir();
    if (!levelDir)
        return {InstallTarget::Unusable,
                {},
                localizedString(QT_TRANSLATE_NOOP(
                    "Quillmor", "Quillmor is not installed, so there is no level folder to "
                                "install into."))};
    if (!record.value(kUrlInstall).toString().isEmpty()) {
        // Only a folder of the level directory itself is ever replaced.
        const QString path = folderPath(urlForKey(record, kUrlInstall));
        if (path.isEmpty() || QFileInfo(path).path() != QDir::cleanPath(*levelDir))
            return {InstallTarget::Unusable,
                    {},
                    localizedString(QT_TRANSLATE_NOOP(
                        "Quillmor", "The level's folder is not in the game's level folder."))};
        return {InstallTarget::Replace, QUrl::fromLocalFile(path + u'/'), {}};
    }
    const QUrl folder = getInstallPathForZip(urlForKey(record, kUrlZip), 0);
    const QString path = folderPath(folder);
    if (path.isEmpty() || isStagingName(QFileInfo(path).fileName()))
        return {InstallTarget::Unusable,
                {},
                localizedString(QT_TRANSLATE_NOOP(
                    "Quillmor", "The archive's name gives no folder name to install into."))};
    return {exists(path) ? InstallTarget::Taken : InstallTarget::Free, folder, {}};
}

QUrl newInstallDirectory(const QUrl& archive)
{
    for (int number = 2; number < std::numeric_limits<int>::max(); ++number) {
        const QUrl folder = getInstallPathForZip(archive, number);
        const QString path = folderPath(folder);
        if (path.isEmpty())
            return {};
        if (!exists(path))
            return folder;
    }
    return {};
}

StagedLevel stageLevel(const QUrl& archive, const QUrl& folder, const WorkControl& control)
{
    const QString target = folderPath(folder);
    if (target.isEmpty())
        return notStaged(folder, localizedString(QT_TRANSLATE_NOOP(
                                     "Quillmor", "The level has no folder to go into.")));
    const QString levelDir = QFileInfo(target).path();
    removeStaleStaging(levelDir);

    QTemporaryDir staging(QDir(levelDir).filePath(kStagingPrefix + QString::number(::getpid()) +
                                                  QStringLiteral("-XXXXXX")));
    if (!staging.isValid())
        return notStaged(
            folder, localizedString(
                        QT_TRANSLATE_NOOP("Quillmor", "No staging folder could be made in %1: %2."))
                        .arg(QDir::toNativeSeparators(levelDir), staging.errorString()));
    staging.setAutoRemove(false);
    const QString staged = staging.filePath(QFileInfo(target).fileName());
    StagedLevel level{folder, staged, {}};
    if (!QDir().mkdir(staged)) {
        level = notStaged(
            folder,
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "No staging folder could be made in %1."))
                .arg(QDir::toNativeSeparators(levelDir)));
    } else {
        const UnzipReport report = unzipLevelReport(archive, QUrl::fromLocalFile(staged), control);
        if (report.outcome == UnzipReport::Cancelled ||
            (control.isCancelled && control.isCancelled()))
            level.staged.clear();
        else if (report.outcome != UnzipReport::Unpacked)
            level = notStaged(folder, report.reason);
        else if (!checkLevelExists(QUrl::fromLocalFile(staged + u'/')))
            level = notStaged(folder, localizedString(QT_TRANSLATE_NOOP(
                                          "Quillmor", "The archive holds no \"levellist.dat\".")));
        else if (exists(target) && !noteReplaced(staging.path(), target))
            level = notStaged(
                folder, localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                          "The unpacked level could not be written "
                                                          "to the disk: %1."))
                            .arg(qt_error_string(errno)));
        else if (const auto failure = flushLevel(staged))
            level = notStaged(folder, *failure);
    }
    if (!level.isStaged())
        removeStaging(staging.path());
    return level;
}

std::optional<QString> swapIntoPlace(const StagedLevel& level)
{
    const QString target = folderPath(level.folder);
    const QString staging = QFileInfo(level.staged).path();
    if (target.isEmpty() || !level.isStaged() || !isStagingName(QFileInfo(staging).fileName()))
        return localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "There is no staged level to put in place."));
    const QByteArray from = QFile::encodeName(level.staged);
    const QByteArray to = QFile::encodeName(target);

    // Swapping in one step leaves the folder whole at every moment, and puts the old level
    // where the staged one was, from where it goes to the Trash. Filesystems that cannot swap
    // make do with the Trash first.
    int result = -1;
    int error = 0;
    if (exists(target)) {
        // The folder there may not be the one seen while staging.
        if (!noteReplaced(staging, target)) {
            error = errno;
        } else {
            result = renameWithFlags(from, to, RENAME_EXCHANGE);
            error = errno;
        }
        if (result != 0 && flagsRefused(error)) {
            if (!moveToTrash(QUrl::fromLocalFile(target)))
                return localizedString(QT_TRANSLATE_NOOP(
                    "Quillmor", "The old level could not be moved to the Trash."));
            result = ::rename(from.constData(), to.constData());
            error = errno;
        } else if (result == 0) {
            // Restored from the Trash, the old level goes back to its folder. Where the Trash
            // refuses it, it goes with the staging folder below.
            moveToTrashFrom(level.staged, target);
        }
    } else {
        result = renameWithFlags(from, to, RENAME_NOREPLACE);
        error = errno;
        if (result != 0 && flagsRefused(error)) {
            // An empty folder made first still keeps the move from replacing a level that
            // appeared meanwhile: mkdir fails on anything there, and a folder renamed onto an
            // empty one replaces it in one step.
            result = ::mkdir(to.constData(), 0700);
            error = errno;
            if (result == 0) {
                result = ::rename(from.constData(), to.constData());
                error = errno;
                if (result != 0)
                    ::rmdir(to.constData());
            }
        }
    }
    removeStaging(staging);
    if (result != 0)
        return localizedString(QT_TRANSLATE_NOOP(
                                   "Quillmor", "The level could not be moved into its folder: %1."))
            .arg(qt_error_string(error));
    // The new name on the disk before the catalogue records it. The level is in place whatever
    // this answers.
    syncPath(QFileInfo(target).path());
    return std::nullopt;
}

void clearLeftoverStaging()
{
    if (const auto levelDir = getGameLevelDir())
        removeStaleStaging(*levelDir);
}

void discardStaged(const StagedLevel& level)
{
    if (level.isStaged())
        removeStaging(QFileInfo(level.staged).path());
}

QFuture<StagedLevel> startStaging(const QUrl& archive, const QUrl& folder)
{
    return QtConcurrent::run([archive, folder](QPromise<StagedLevel>& promise) {
        const StagedLevel level = stageLevel(archive, folder, controlFor(promise));
        // A cancel that came after the unpacking still leaves the disk as it was. One that
        // slips in between this check and the result leaves a staging folder that no level
        // list shows and that the next run's first install removes.
        if (promise.isCanceled())
            discardStaged(level);
        else
            promise.addResult(level);
    });
}

QFuture<std::optional<QByteArray>> startCalcSHA1(const QUrl& file)
{
    return QtConcurrent::run([file](QPromise<std::optional<QByteArray>>& promise) {
        const auto digest = calcSHA1(file, controlFor(promise));
        if (!promise.isCanceled())
            promise.addResult(digest);
    });
}
