#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "flows/InstallJob.h"
#include "install/Locations.h"
#include "launcher/JobSheet.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"
#include "transfer/DownloadStatus.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>

namespace {

// The install's questions, asked with sheets on the launcher's window.
class SheetQuestions : public Questions
{
public:
    explicit SheetQuestions(QMainWindow* window) : m_window(window) {}

    void askChecksumMismatch(const QString& levelName, Reply reply) override
    {
        auto* alert = new Alert(m_window);
        alert->addButtonWithTitle(QStringLiteral("Cancel"));
        alert->addButtonWithTitle(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install Anyway")));
        alert->setMessageText(localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The download does not match its checksum")));
        alert->setInformativeText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                              "The archive of \"%1\" differs from the one its "
                                              "feed published. It may be damaged or altered."))
                .arg(levelName));
        alert->setAlertStyle(Alert::Critical);
        alert->beginSheetModalForWindow(m_window, [reply](int returnCode) {
            reply(returnCode == Alert::SecondButtonReturn ? Answer::Proceed : Answer::Cancel);
        });
    }

    void askFolderTaken(Reply reply) override
    {
        m_window->raise();
        m_window->activateWindow();
        auto* alert = new Alert(m_window);
        alert->addButtonWithTitle(QStringLiteral("New Directory"));
        alert->addButtonWithTitle(QStringLiteral("Overwrite"));
        alert->addButtonWithTitle(QStringLiteral("Cancel"));
        alert->setMessageText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Directory exists")));
        alert->setInformativeText(localizedString(QT_TRANSLATE_NOOP(
            "Quillmor", "There is already a level in the target directory. Do you want to "
                        "install it into a new directory or overwrite it? ")));
        alert->setAlertStyle(Alert::Critical);
        alert->beginSheetModalForWindow(m_window, [reply](int returnCode) {
            reply(returnCode == Alert::FirstButtonReturn    ? Answer::NewFolder
                  : returnCode == Alert::SecondButtonReturn ? Answer::Overwrite
                                                            : Answer::Cancel);
        });
    }

private:
    QMainWindow* m_window;
};

} // namespace

InstallJob* Launcher::newInstall(const LevelIdentity& level, Questions* questions)
{
    // Through the download controller: its sheet on the window, and its alert for a failed
    // download unless Update All sums failures up. Its sheet's Cancel calls the install off.
    const auto fetch = [this](const QUrl& source, const QUrl& file,
                              std::function<void(const InstallJob::Fetched&)> done) {
        m_downloadStatus->loadFile(source, file, m_window,
                                   [this, done](const QVariant& result, const QUrl&) {
                                       if (result.isValid())
                                           done({Outcome::success(),
                                                 m_downloadStatus->lastDigest()});
                                       else
                                           done({Outcome::failure(m_downloadStatus->lastError(),
                                                                  !m_updateAllJob),
                                                 {}});
                                   });
        connect(m_downloadStatus->downloadSheet(), &DownloadSheet::cancelRequested, this,
                &Launcher::cancelInstall, Qt::UniqueConnection);
    };
    auto* job = new InstallJob(m_database, questions, fetch, level, this);
    connect(job, &Job::finished, this, [this, job] { installDidEnd(job); });
    return job;
}

void Launcher::startInstall(InstallJob* job)
{
    m_installJob = job;
    connect(job, &Job::finished, this, [this, job](const Outcome& outcome) {
        job->deleteLater();
        if (outcome.kind == Outcome::Failed && !outcome.told)
            showAlert(
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level could not be installed.")),
                outcome.reason, Alert::Critical);
        else if (outcome.succeeded())
            showInstallSuccessfulAlert(m_window, job->levelName());
    });
    if (!m_jobSheet)
        m_jobSheet = new JobSheet(m_window, this);
    m_jobSheet->bind(job, localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing…")));
    job->start();
}

void Launcher::installDidEnd(InstallJob* job)
{
    if (m_installJob == job)
        m_installJob = nullptr;
    if (job->installedFolder().isEmpty())
        return;
    reloadLevelTable(m_levelTable);
    const qsizetype row =
        m_database->indexOfLevel(LevelIdentity{{}, {}, absoluteString(job->installedFolder())});
    if (row >= 0)
        selectRow(int(row));
    updateLaunchButton();
}

void Launcher::cancelInstall()
{
    if (m_updateAllJob)
        m_updateAllJob->cancel();
    else if (m_installJob)
        m_installJob->cancel();
}

void Launcher::downloadSelectedLevel(QObject*)
{
    const int row = commandRow();
    if (row >= 0 && row < numberOfRowsInTableView())
        downloadLevel(m_database->objectAtIndex(row));
}

void Launcher::downloadLevel(const LevelEntry& entry)
{
    if (m_installJob)
        return;
    if (!m_questions)
        m_questions = std::make_unique<SheetQuestions>(m_window);
    // The archive's URL may be another level's too (two feeds listing one archive): the
    // install belongs to the level the player acted on.
    startInstall(newInstall(LevelIdentity::of(entry), m_questions.get()));
}

void Launcher::installFromFile(QObject*)
{
    auto* panel = new QFileDialog(m_window);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setNameFilter(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Level archives (*.zip)")));
    panel->setWindowTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install from File")));
    panel->setAccessibleName(panel->windowTitle());
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QDialog::finished, this,
            [this, panel](int returnCode) { installFromSelectedFile(panel, returnCode); });
    panel->open();
}

void Launcher::installFromSelectedFile(QFileDialog* panel, int returnCode)
{
    const QList<QUrl> urls =
        returnCode == QDialog::Accepted ? panel->selectedUrls() : QList<QUrl>();
    panel->hide();
    if (urls.isEmpty() || !urls.first().isLocalFile() || m_installJob)
        return;
    if (!m_questions)
        m_questions = std::make_unique<SheetQuestions>(m_window);
    auto* job = new InstallJob(m_database, m_questions.get(), urls.first(), this);
    connect(job, &Job::finished, this, [this, job] { installDidEnd(job); });
    startInstall(job);
}
