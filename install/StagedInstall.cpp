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

#include <fcntl.h>
#include <stdio.h>
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
            removeStaging(dir.filePath(name));
    }
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
    if (exists(target)) {
        result = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE);
        if (result != 0 && errno == EINVAL) {
            if (!moveToTrash(QUrl::fromLocalFile(target)))
                return localizedString(QT_TRANSLATE_NOOP(
                    "Quillmor", "The old level could not be moved to the Trash."));
            result = ::rename(from.constData(), to.constData());
        } else if (result == 0) {
            moveToTrash(QUrl::fromLocalFile(level.staged));
        }
    } else {
        result =
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    }
    const int error = errno;
    removeStaging(staging);
    if (result != 0)
        return localizedString(QT_TRANSLATE_NOOP(
                                   "Quillmor", "The level could not be moved into its folder: %1."))
            .arg(qt_error_string(error));
    return std::nullopt;
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
