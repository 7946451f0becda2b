#include "flows/InstallQueueJob.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/Localization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

InstallQueueJob::InstallQueueJob(Database* database, Questions* questions,
                                 InstallJob::FetchFile fetch, const QList<Item>& items,
                                 QObject* parent)
    : Job(parent), m_database(database), m_questions(questions), m_fetch(std::move(fetch)),
      m_queue(items)
{
}

void InstallQueueJob::start()
{
    setRunning();
    m_summary = {};
    m_summary.total = int(m_queue.size());
    next();
}

void InstallQueueJob::cancel()
{
    if (!isRunning())
        return;
    m_summary.cancelled = true;
    m_queue.clear();
    if (m_current)
        return m_current->cancel();
    // A download cut off stays for the next download of the same address to take up.
    ++m_waitNumber;
    m_downloading = false;
    finish(Outcome::cancelled());
}

void InstallQueueJob::next()
{
    if (!isRunning())
        return;
    if (m_queue.isEmpty())
        return finish(m_summary.cancelled ? Outcome::cancelled() : Outcome::success());
    const Item item = m_queue.takeFirst();
    const int number = m_summary.total - int(m_queue.size());
    if (item.level) {
        const qsizetype index = m_database->indexOfLevel(*item.level);
        const QString name =
            index < 0 ? QString()
                      : m_database->objectAtIndex(index).value(LevelKey::name).toString();
        emit itemStarted(name, number);
        run(new InstallJob(m_database, m_questions, m_fetch, *item.level, this), name);
        return;
    }
    const QString name = QFileInfo(item.archive.path()).completeBaseName();
    emit itemStarted(name, number);
    if (item.archive.isLocalFile())
        run(new InstallJob(m_database, m_questions, item.archive, this), name);
    else
        download(item.archive);
}

void InstallQueueJob::download(const QUrl& source)
{
    const QString fileName = QFileInfo(source.path()).fileName();
    const QString name = QFileInfo(fileName).completeBaseName();
    const auto folder = getDownloadDir();
    if (fileName.isEmpty() || fileName == u"." || fileName == u"..")
        return ended(source.toDisplayString(),
                     Outcome::failure(localizedString(QT_TRANSLATE_NOOP(
                         "Quillmor", "The level's download address names no archive."))));
    if (!folder)
        return ended(name, Outcome::failure(localizedString(QT_TRANSLATE_NOOP(
                               "Quillmor", "There is no folder to download the archive into."))));
    const QString path = QDir(*folder).filePath(fileName);
    const QUrl partial = QUrl::fromLocalFile(path + QStringLiteral(".download"));
    m_downloading = true;
    const quint64 number = ++m_waitNumber;
    m_fetch(source, partial, [this, number, name, path, partial](const InstallJob::Fetched& got) {
        if (number != m_waitNumber)
            return;
        m_downloading = false;
        if (!got.outcome.succeeded())
            return ended(name, got.outcome);
        const QUrl archive = QUrl::fromLocalFile(path);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            moveToTrash(archive);
        if (!QFile::rename(partial.toLocalFile(), path))
            return ended(
                name,
                Outcome::failure(
                    localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                      "The downloaded archive could not be moved "
                                                      "to %1."))
                        .arg(QDir::toNativeSeparators(path))));
        run(new InstallJob(m_database, m_questions, archive, this), name);
    });
}

void InstallQueueJob::run(InstallJob* install, const QString& name)
{
    m_current = install;
    connect(install, &Job::finished, this, [this, install, name](const Outcome& outcome) {
        install->deleteLater();
        m_current = nullptr;
        ended(name.isEmpty() ? install->levelName() : name, outcome, install->installedFolder());
    });
    emit installStarted(install);
    install->start();
}

void InstallQueueJob::ended(const QString& name, const Outcome& outcome, const QUrl& folder)
{
    m_summary.lastName = name;
    m_summary.lastOutcome = outcome;
    m_summary.lastFolder = folder;
    if (outcome.kind == Outcome::Succeeded)
        ++m_summary.installed;
    else if (outcome.kind == Outcome::Failed)
        m_summary.failures.append(name.isEmpty()
                                      ? outcome.reason
                                      : localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1: %2"))
                                            .arg(name, outcome.reason));
    else
        m_summary.cancelled = true, m_queue.clear();
    // The next install or download never starts inside the end of the last one.
    QMetaObject::invokeMethod(this, &InstallQueueJob::next, Qt::QueuedConnection);
}
