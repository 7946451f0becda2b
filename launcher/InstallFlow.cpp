#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "install/StagedInstall.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"
#include "transfer/DownloadStatus.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

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

// Runs the future's work behind the sheet and hands its result to done on the main thread;
// a cancelled future hands nothing.
template <typename T, typename Done>
void watch(QObject* owner, DownloadSheet* sheet, QFuture<T> future, Done done)
{
    auto* watcher = new QFutureWatcher<T>(owner);
    QProgressBar* bar = sheet->progressBar();
    bar->setRange(0, kProgressRange);
    bar->setValue(0);
    QObject::connect(watcher, &QFutureWatcherBase::progressValueChanged, bar,
                     &QProgressBar::setValue);
    QObject::connect(sheet, &DownloadSheet::cancelRequested, watcher, [watcher, sheet] {
        sheet->cancelButton()->setEnabled(false);
        watcher->cancel();
    });
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner, [watcher, done]() mutable {
        watcher->deleteLater();
        const QFuture<T> ended = watcher->future();
        if (ended.isCanceled() || ended.resultCount() == 0)
            done(std::optional<T>());
        else
            done(std::optional<T>(ended.result()));
    });
    watcher->setFuture(future);
}

} // namespace

DownloadSheet* Launcher::openInstallSheet()
{
    if (!m_installSheet) {
        m_installSheet = new DownloadSheet(m_window);
        m_installSheet->setWindowTitle(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing")));
        m_installSheet->setAccessibleName(m_installSheet->windowTitle());
        m_installSheet->setWindowModality(Qt::WindowModal);
    }
    m_installSheet->infoLabel()->setText(
        m_updateAll ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Updating %1 (%2 of %3)…"))
                          .arg(m_updateAll->current)
                          .arg(m_updateAll->started)
                          .arg(m_updateAll->total)
                    : localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing…")));
    m_installSheet->cancelButton()->setEnabled(true);
    m_installSheet->cancelButton()->setDefault(true);
    m_installSheet->open();
    // Shown again, the sheet keeps its old place in the stacking order, which may be below a
    // window raised since.
    m_installSheet->raise();
    return m_installSheet;
}

void Launcher::installDidEnd(InstallEnd end, const QString& detail)
{
    if (m_updateAll)
        levelUpdateDidEnd(end, detail);
    else if (end == InstallEnd::Failed)
        showAlert(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level could not be installed.")),
            detail, Alert::Critical);
    else if (end == InstallEnd::Installed)
        showInstallSuccessfulAlert(m_window, detail);
}

void Launcher::downloadSelectedLevel(QObject*)
{
    const int row = commandRow();
    if (row >= 0 && row < numberOfRowsInTableView())
        downloadLevel(m_database->objectAtIndex(row));
}

void Launcher::downloadLevel(const LevelEntry& entry)
{
    const QUrl source = urlForKey(entry, LevelKey::urlDownload);
    const QString name = archiveName(source);
    if (name.isEmpty()) {
        installDidEnd(InstallEnd::Failed,
                      localizedString(QT_TRANSLATE_NOOP(
                          "Quillmor", "The level's download address names no archive.")));
        return;
    }
    const QUrl file = downloadFileUrl(name + kDownloadSuffix);
    if (file.isEmpty()) {
        installDidEnd(InstallEnd::Failed,
                      localizedString(QT_TRANSLATE_NOOP(
                          "Quillmor", "There is no folder to download the archive into.")));
        return;
    }
    // A level that has nowhere to go is not downloaded at all.
    LevelEntry probe = entry;
    probe.insert(LevelKey::urlZip, absoluteString(downloadFileUrl(name)));
    const InstallTarget target = chooseInstallTarget(probe);
    if (target.kind == InstallTarget::Unusable) {
        installDidEnd(InstallEnd::Failed, target.reason);
        return;
    }
    // The archive's URL may be another level's too (two feeds listing one archive): the
    // download belongs to the level the player acted on.
    m_downloadStatus->loadFile(
        source, file, m_window,
        [this, level = LevelIdentity::of(entry)](const QVariant& result, const QUrl& asked) {
            downloadFileComplete(result, asked, level);
        });
}

void Launcher::downloadFileComplete(const QVariant& file, const QUrl& url,
                                    const LevelIdentity& level)
{
    // On its own, the download controller has told the user why; Update All sums it up.
    if (!file.isValid()) {
        if (m_updateAll)
            installDidEnd(InstallEnd::Failed, m_downloadStatus->lastError());
        return;
    }
    const QString downloaded = file.toUrl().toLocalFile();
    // Taken as the bytes arrived, so the archive is not read a second time.
    const std::optional<QByteArray> digest = m_downloadStatus->lastDigest();
    // Looked up afresh: a feed refresh may have replaced the entries meanwhile.
    const qsizetype index = m_database->indexOfLevel(level);
    if (index < 0) {
        QFile::remove(downloaded);
        installDidEnd(InstallEnd::Failed, localizedString(QT_TRANSLATE_NOOP(
                                              "Quillmor", "The level left the list while its "
                                                          "archive was downloaded.")));
        return;
    }
    // Nothing that arrived may take the place of the archive already there.
    const QFileInfo arrived(downloaded);
    if (!arrived.isFile() || arrived.size() == 0) {
        QFile::remove(downloaded);
        installDidEnd(InstallEnd::Failed, localizedString(QT_TRANSLATE_NOOP(
                                              "Quillmor", "The server sent an empty file.")));
        return;
    }
    if (!digest) {
        QFile::remove(downloaded);
        installDidEnd(InstallEnd::Failed,
                      localizedString(QT_TRANSLATE_NOOP(
                          "Quillmor", "The downloaded archive could not be read.")));
        return;
    }
    const LevelEntry entry = m_database->objectAtIndex(index);
    const QUrl archive = downloadFileUrl(archiveName(url));
    const QString path = archive.toLocalFile();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        moveToTrash(archive);
    if (!QFile::rename(downloaded, path)) {
        installDidEnd(InstallEnd::Failed,
                      localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                        "The downloaded archive could not be moved "
                                                        "to %1."))
                          .arg(QDir::toNativeSeparators(path)));
        return;
    }
    LevelEntry record = entry;
    record.insert(LevelKey::pubDateInstall, entry.value(LevelKey::pubDateRemote));
    record.insert(LevelKey::urlDownload, absoluteString(url));
    record.insert(LevelKey::urlZip, absoluteString(archive));
    record.insert(LevelKey::sha1Install, *digest);
    installEntryCheckDigest(record);
}

void Launcher::installEntryCheckDigest(const LevelEntry& record)
{
    const QByteArray published = record.value(LevelKey::sha1Remote).toByteArray();
    if (published.size() != 20 || published == record.value(LevelKey::sha1Install).toByteArray()) {
        installEntryCheckTarget(record);
        return;
    }
    const QString mismatch =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The download does not match its checksum"));
    // Update All asks nothing on the way: the archive is refused as Cancel would refuse it.
    if (m_updateAll) {
        QFile::remove(urlForKey(record, LevelKey::urlZip).toLocalFile());
        installDidEnd(InstallEnd::Failed, mismatch);
        return;
    }
    auto* alert = new Alert(m_window);
    alert->addButtonWithTitle(QStringLiteral("Cancel"));
    alert->addButtonWithTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install Anyway")));
    alert->setMessageText(mismatch);
    alert->setInformativeText(
        localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                          "The archive of \"%1\" differs from the one its feed "
                                          "published. It may be damaged or altered."))
            .arg(record.value(LevelKey::name).toString()));
    alert->setAlertStyle(Alert::Critical);
    alert->beginSheetModalForWindow(m_window, [this, record](int returnCode) {
        if (returnCode == Alert::SecondButtonReturn)
            installEntryCheckTarget(record);
        else
            QFile::remove(urlForKey(record, LevelKey::urlZip).toLocalFile());
    });
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
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    const QUrl file = urls.first();
    const QFileInfo info(file.toLocalFile());
    const QDateTime modified = info.lastModified().toUTC();
    if (!info.isFile() || !modified.isValid()) {
        installDidEnd(
            InstallEnd::Failed,
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1 is not a file that can be read."))
                .arg(QDir::toNativeSeparators(info.filePath())));
        return;
    }
    LevelEntry record;
    record.insert(LevelKey::name, info.completeBaseName());
    record.insert(LevelKey::urlInstall, QString());
    record.insert(LevelKey::pubDateInstall, modified);
    record.insert(LevelKey::urlZip, absoluteString(file));
    DownloadSheet* sheet = openInstallSheet();
    watch(this, sheet, startCalcSHA1(file),
          [this, record](const std::optional<std::optional<QByteArray>>& digest) mutable {
              if (m_installSheet)
                  m_installSheet->hide();
              if (!digest)
                  return;
              if (!*digest) {
                  installDidEnd(InstallEnd::Failed,
                                localizedString(QT_TRANSLATE_NOOP(
                                    "Quillmor", "The archive could not be read.")));
                  return;
              }
              record.insert(LevelKey::sha1Install, **digest);
              installEntryCheckTarget(record);
          });
}

void Launcher::installEntryCheckTarget(const LevelEntry& record)
{
    const InstallTarget target = chooseInstallTarget(record);
    LevelEntry placed = record;
    placed.insert(LevelKey::urlInstall, absoluteString(target.folder));
    switch (target.kind) {
    case InstallTarget::Unusable:
        installDidEnd(InstallEnd::Failed, target.reason);
        return;
    case InstallTarget::Free:
    case InstallTarget::Replace:
        installEntryUnpack(placed);
        return;
    case InstallTarget::Taken:
        break;
    }
    const QString taken = localizedString(QT_TRANSLATE_NOOP("Quillmor", "Directory exists"));
    if (m_updateAll) {
        installDidEnd(InstallEnd::Failed, taken);
        return;
    }
    m_window->raise();
    m_window->activateWindow();
    auto* alert = new Alert(m_window);
    alert->addButtonWithTitle(QStringLiteral("New Directory"));
    alert->addButtonWithTitle(QStringLiteral("Overwrite"));
    alert->addButtonWithTitle(QStringLiteral("Cancel"));
    alert->setMessageText(taken);
    alert->setInformativeText(localizedString(
        QT_TRANSLATE_NOOP("Quillmor", "There is already a level in the target directory. Do you "
                                      "want to install it into a new directory or overwrite "
                                      "it? ")));
    alert->setAlertStyle(Alert::Critical);
    alert->beginSheetModalForWindow(m_window, [this, placed](int returnCode) {
        installEntryConfirmLevelOverwrite(returnCode, placed);
    });
}

void Launcher::installEntryConfirmLevelOverwrite(int returnCode, const LevelEntry& record)
{
    if (returnCode == Alert::FirstButtonReturn) {
        const QUrl folder = newInstallDirectory(urlForKey(record, LevelKey::urlZip));
        if (folder.isEmpty()) {
            installDidEnd(InstallEnd::Failed,
                          localizedString(QT_TRANSLATE_NOOP(
                              "Quillmor", "No free folder name was found for the level.")));
            return;
        }
        LevelEntry placed = record;
        placed.insert(LevelKey::urlInstall, absoluteString(folder));
        installEntryUnpack(placed);
    } else if (returnCode == Alert::SecondButtonReturn) {
        installEntryUnpack(record, true);
    }
}

void Launcher::installEntryUnpack(const LevelEntry& record, bool overwrite)
{
    const QUrl archive = urlForKey(record, LevelKey::urlZip);
    const QUrl folder = urlForKey(record, LevelKey::urlInstall);
    DownloadSheet* sheet = openInstallSheet();
    watch(this, sheet, startStaging(archive, folder),
          [this, record, overwrite](const std::optional<StagedLevel>& level) {
              if (m_installSheet)
                  m_installSheet->hide();
              if (!level) { // cancelled: nothing changed
                  installDidEnd(InstallEnd::Cancelled);
                  return;
              }
              if (!level->isStaged()) {
                  installDidEnd(InstallEnd::Failed, level->reason);
                  return;
              }
              installEntryRecord(record, *level, overwrite);
          });
}

void Launcher::installEntryRecord(const LevelEntry& record, const StagedLevel& level,
                                  bool overwrite)
{
    if (const auto failure = swapIntoPlace(level)) {
        discardStaged(level);
        installDidEnd(InstallEnd::Failed, *failure);
        return;
    }
    if (overwrite)
        m_database->removeEntriesForInstallDir(level.folder);
    // The record was taken when the archive arrived; a refresh since may have changed the
    // level, which keeps everything but what the install itself settles.
    LevelEntry installed = record;
    const qsizetype index = m_database->indexOfLevel(LevelIdentity::of(record));
    if (index >= 0) {
        installed = m_database->objectAtIndex(index);
        for (const QString& key : {LevelKey::urlInstall, LevelKey::urlDownload,
                                   LevelKey::pubDateInstall, LevelKey::sha1Install})
            installed.insert(key, record.value(key));
    }
    installed.insert(LevelKey::exists, checkLevelExists(level.folder));
    m_database->updateInstall(installed);
    const bool saved = m_database->save();
    reloadLevelTable(m_levelTable);
    for (int row = 0; row < numberOfRowsInTableView(); ++row) {
        if (urlForKey(m_database->objectAtIndex(row), LevelKey::urlInstall) == level.folder) {
            selectRow(row);
            break;
        }
    }
    updateLaunchButton();
    // The catalogue has told the player why it was not saved; Update All notes it as well.
    if (!saved) {
        if (m_updateAll)
            installDidEnd(InstallEnd::Failed,
                          localizedString(QT_TRANSLATE_NOOP(
                              "Quillmor", "The level catalogue could not be saved.")));
        return;
    }
    installDidEnd(InstallEnd::Installed, installed.value(LevelKey::name).toString());
}
