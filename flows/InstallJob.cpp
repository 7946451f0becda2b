#include "flows/InstallJob.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "install/StagedInstall.h"
#include "platform/Localization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>

namespace {

const QString kDownloadSuffix = QStringLiteral(".download");

// The archive's file name in the download folder: the last part of the download URL's path.
QString archiveName(const QUrl& source)
{
    const QString name = QFileInfo(source.path()).fileName();
    return name == u"." || name == u".." ? QString() : name;
}

QUrl downloadFileUrl(const QString& name)
{
    const auto dir = getDownloadDir();
    return dir && !name.isEmpty() ? QUrl::fromLocalFile(QDir(*dir).filePath(name)) : QUrl();
}

} // namespace

InstallJob::InstallJob(Database* database, Questions* questions, FetchFile fetch,
                       const LevelIdentity& level, QObject* parent)
    : Job(parent), m_database(database), m_questions(questions), m_fetch(std::move(fetch)),
      m_level(level)
{
}

InstallJob::InstallJob(Database* database, Questions* questions, const QUrl& archive,
                       QObject* parent)
    : Job(parent), m_database(database), m_questions(questions)
{
    const QFileInfo info(archive.toLocalFile());
    m_record.insert(LevelKey::name, info.completeBaseName());
    m_record.insert(LevelKey::urlInstall, QString());
    m_record.insert(LevelKey::pubDateInstall, info.lastModified().toUTC());
    m_record.insert(LevelKey::urlZip, absoluteString(archive));
}

InstallJob::~InstallJob()
{
    // Work on a worker still running finds its result dropped: a staging folder it leaves is
    // one the next install clears.
    if (m_work)
        m_work->cancel();
}

QString InstallJob::levelName() const
{
    return m_record.value(LevelKey::name).toString();
}

void InstallJob::setStep(Step step)
{
    m_step = step;
    if (step == Step::Downloading || step == Step::Asking)
        emit waiting();
}

void InstallJob::fail(const QString& reason, bool told)
{
    setStep(Step::Done);
    finish(Outcome::failure(reason, told));
}

void InstallJob::start()
{
    setRunning();
    if (!m_level) {
        const QFileInfo info(urlForKey(m_record, LevelKey::urlZip).toLocalFile());
        if (!info.isFile() || !m_record.value(LevelKey::pubDateInstall).toDateTime().isValid())
            return fail(
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1 is not a file that can be read."))
                    .arg(QDir::toNativeSeparators(info.filePath())));
        return hash();
    }
    const qsizetype index = m_database->indexOfLevel(*m_level);
    if (index < 0)
        return fail(localizedString(QT_TRANSLATE_NOOP(
            "Quillmor", "The level left the list while its archive was downloaded.")));
    m_record = m_database->objectAtIndex(index);
    const QUrl source = urlForKey(m_record, LevelKey::urlDownload);
    const QString name = archiveName(source);
    if (name.isEmpty())
        return fail(localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The level's download address names no archive.")));
    const QUrl partial = downloadFileUrl(name + kDownloadSuffix);
    if (partial.isEmpty())
        return fail(localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "There is no folder to download the archive into.")));
    // A level that has nowhere to go is not downloaded at all.
    LevelEntry probe = m_record;
    probe.insert(LevelKey::urlZip, absoluteString(downloadFileUrl(name)));
    const InstallTarget target = chooseInstallTarget(probe);
    if (target.kind == InstallTarget::Unusable)
        return fail(target.reason);
    setStep(Step::Downloading);
    const quint64 number = ++m_waitNumber;
    m_fetch(source, partial, [this, source, partial, number](const Fetched& fetched) {
        if (number == m_waitNumber)
            downloaded(source, partial, fetched);
    });
}

void InstallJob::cancel()
{
    if (!isRunning() || m_step == Step::Recording)
        return;
    if (m_work) {
        // The worker's end says Cancelled, and nothing changed.
        m_work->cancel();
        return;
    }
    // A cut-off archive stays for the next download of the same address to take up.
    ++m_waitNumber;
    setStep(Step::Done);
    finish(Outcome::cancelled());
}

void InstallJob::downloaded(const QUrl& source, const QUrl& partial, const Fetched& fetched)
{
    if (!fetched.outcome.succeeded()) {
        setStep(Step::Done);
        finish(fetched.outcome);
        return;
    }
    const QString downloaded = partial.toLocalFile();
    // Looked up afresh: a feed refresh may have replaced the entries meanwhile.
    const qsizetype index = m_database->indexOfLevel(*m_level);
    if (index < 0) {
        QFile::remove(downloaded);
        return fail(localizedString(QT_TRANSLATE_NOOP(
            "Quillmor", "The level left the list while its archive was downloaded.")));
    }
    // Nothing that arrived may take the place of the archive already there.
    const QFileInfo arrived(downloaded);
    if (!arrived.isFile() || arrived.size() == 0) {
        QFile::remove(downloaded);
        return fail(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The server sent an empty file.")));
    }
    const LevelEntry entry = m_database->objectAtIndex(index);
    const QUrl archive = downloadFileUrl(archiveName(source));
    const QString path = archive.toLocalFile();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        moveToTrash(archive);
    if (!QFile::rename(downloaded, path))
        return fail(localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                      "The downloaded archive could not be moved "
                                                      "to %1."))
                        .arg(QDir::toNativeSeparators(path)));
    m_record = entry;
    m_record.insert(LevelKey::pubDateInstall, entry.value(LevelKey::pubDateRemote));
    m_record.insert(LevelKey::urlDownload, absoluteString(source));
    m_record.insert(LevelKey::urlZip, absoluteString(archive));
    // The transfer hashed the bytes as they arrived: no second read of the archive.
    if (fetched.digest) {
        m_record.insert(LevelKey::sha1Install, *fetched.digest);
        return checkDigest();
    }
    hash();
}

void InstallJob::hash()
{
    setStep(Step::Hashing);
    emit progress(0, kProgressRange, {});
    auto* watcher = new QFutureWatcher<std::optional<QByteArray>>(this);
    m_work = watcher;
    connect(watcher, &QFutureWatcherBase::progressValueChanged, this,
            [this](int value) { emit progress(value, kProgressRange, {}); });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_work = nullptr;
        const QFuture<std::optional<QByteArray>> ended = watcher->future();
        if (ended.isCanceled() || ended.resultCount() == 0) {
            setStep(Step::Done);
            finish(Outcome::cancelled()); // the archive stays for another try
            return;
        }
        const std::optional<QByteArray> digest = ended.result();
        if (!digest)
            return fail(m_level ? localizedString(QT_TRANSLATE_NOOP(
                                      "Quillmor", "The downloaded archive could not be read."))
                                : localizedString(QT_TRANSLATE_NOOP(
                                      "Quillmor", "The archive could not be read.")));
        m_record.insert(LevelKey::sha1Install, *digest);
        checkDigest();
    });
    watcher->setFuture(startCalcSHA1(urlForKey(m_record, LevelKey::urlZip)));
}

void InstallJob::checkDigest()
{
    const QByteArray published = m_record.value(LevelKey::sha1Remote).toByteArray();
    if (published.size() != 20 || published == m_record.value(LevelKey::sha1Install).toByteArray())
        return chooseFolder();
    setStep(Step::Asking);
    const quint64 number = ++m_waitNumber;
    m_questions->askChecksumMismatch(levelName(), [this, number](Questions::Answer answer) {
        if (number != m_waitNumber)
            return;
        if (answer == Questions::Answer::Proceed)
            return chooseFolder();
        // The archive is refused: it is not kept to be taken for a good one later.
        QFile::remove(urlForKey(m_record, LevelKey::urlZip).toLocalFile());
        if (answer == Questions::Answer::Refuse)
            return fail(localizedString(
                QT_TRANSLATE_NOOP("Quillmor", "The download does not match its checksum")));
        setStep(Step::Done);
        finish(Outcome::cancelled());
    });
}

void InstallJob::chooseFolder()
{
    setStep(Step::ChoosingFolder);
    const InstallTarget target = chooseInstallTarget(m_record);
    m_record.insert(LevelKey::urlInstall, absoluteString(target.folder));
    switch (target.kind) {
    case InstallTarget::Unusable:
        return fail(target.reason);
    case InstallTarget::Free:
    case InstallTarget::Replace:
        return stage(false);
    case InstallTarget::Taken:
        break;
    }
    setStep(Step::Asking);
    const quint64 number = ++m_waitNumber;
    m_questions->askFolderTaken([this, number](Questions::Answer answer) {
        if (number != m_waitNumber)
            return;
        switch (answer) {
        case Questions::Answer::NewFolder: {
            const QUrl folder = newInstallDirectory(urlForKey(m_record, LevelKey::urlZip));
            if (folder.isEmpty())
                return fail(localizedString(
                    QT_TRANSLATE_NOOP("Quillmor", "No free folder name was found for the level.")));
            m_record.insert(LevelKey::urlInstall, absoluteString(folder));
            return stage(false);
        }
        case Questions::Answer::Overwrite:
            return stage(true);
        case Questions::Answer::Refuse:
            return fail(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Directory exists")));
        default:
            setStep(Step::Done);
            finish(Outcome::cancelled());
        }
    });
}

void InstallJob::stage(bool overwrite)
{
    setStep(Step::Staging);
    emit progress(0, kProgressRange, {});
    auto* watcher = new QFutureWatcher<StagedLevel>(this);
    m_work = watcher;
    connect(watcher, &QFutureWatcherBase::progressValueChanged, this,
            [this](int value) { emit progress(value, kProgressRange, {}); });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, overwrite] {
        watcher->deleteLater();
        m_work = nullptr;
        const QFuture<StagedLevel> ended = watcher->future();
        if (ended.isCanceled() || ended.resultCount() == 0) { // nothing changed
            setStep(Step::Done);
            finish(Outcome::cancelled());
            return;
        }
        const StagedLevel level = ended.result();
        if (!level.isStaged())
            return fail(level.reason);
        record(level, overwrite);
    });
    watcher->setFuture(startStaging(urlForKey(m_record, LevelKey::urlZip),
                                    urlForKey(m_record, LevelKey::urlInstall)));
}

void InstallJob::record(const StagedLevel& level, bool overwrite)
{
    setStep(Step::Recording);
    if (const auto failure = swapIntoPlace(level)) {
        discardStaged(level);
        return fail(*failure);
    }
    if (overwrite)
        m_database->removeEntriesForInstallDir(level.folder);
    // The record was taken when the archive arrived; a refresh since may have changed the
    // level, which keeps everything but what the install itself settles.
    LevelEntry installed = m_record;
    const qsizetype index =
        m_level ? m_database->indexOfLevel(LevelIdentity::of(m_record)) : qsizetype(-1);
    if (index >= 0) {
        installed = m_database->objectAtIndex(index);
        for (const QString& key : {LevelKey::urlInstall, LevelKey::urlDownload,
                                   LevelKey::pubDateInstall, LevelKey::sha1Install})
            installed.insert(key, m_record.value(key));
    }
    installed.remove(LevelKey::urlZip);
    installed.insert(LevelKey::exists, checkLevelExists(level.folder));
    m_database->updateInstall(installed);
    m_installedFolder = level.folder;
    setStep(Step::Done);
    // A catalogue that was not saved has told the player why.
    if (!m_database->save())
        return finish(Outcome::failure(localizedString(QT_TRANSLATE_NOOP(
                                           "Quillmor", "The level catalogue could not be saved.")),
                                       true));
    finish(Outcome::success());
}
