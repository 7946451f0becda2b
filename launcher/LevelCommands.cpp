#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "launcher/InstallRunner.h"
#include "launcher/LevelFinder.h"
#include "launcher/LevelTableModel.h"
#include "platform/Alert.h"
#include "platform/Desktop.h"
#include "platform/Localization.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QTableView>

#include <optional>

namespace {

std::optional<LevelEntry> entryAt(const Database* database, int row)
{
    if (!database || row < 0 || row >= database->count())
        return std::nullopt;
    return database->objectAtIndex(row);
}

// The catalogue's row now of the level a row of the level table showed, -1 when it has left:
// the table keeps its rows from one reload to the next, the catalogue changes in between.
int levelRow(const Database* database, const QModelIndex& index)
{
    const QVariant level = index.data(LevelTableModel::IdentityRole);
    return database && level.isValid() ? int(database->indexOfLevel(level.value<LevelIdentity>()))
                                       : -1;
}

int selectedRow(const QTableView* table)
{
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool isDefaultLevel(const LevelEntry& entry)
{
    return LevelIdentity::of(entry).isBuiltIn();
}

bool folderPresent(const LevelEntry& entry)
{
    const QUrl folder = urlForKey(entry, LevelKey::urlInstall);
    return folder.isLocalFile() && QFileInfo::exists(folder.toLocalFile());
}

} // namespace

int Launcher::commandRow() const
{
    return m_clickedRow >= 0 ? m_clickedRow : selectedRow(m_levelTable);
}

void Launcher::installButton(const QModelIndex& index)
{
    if (const std::optional<LevelEntry> entry = entryAt(m_database, levelRow(m_database, index)))
        downloadLevel(*entry);
}

void Launcher::updateButton(const QModelIndex& index)
{
    installButton(index);
}

void Launcher::wwwButton(const QModelIndex& index)
{
    openWebsite(levelRow(m_database, index));
}

void Launcher::installFromMenuItem(QObject* sender)
{
    downloadSelectedLevel(sender);
}

void Launcher::viewWebsiteFromMenuItem(QObject*)
{
    openWebsite(commandRow());
}

void Launcher::openWebsite(int row)
{
    const std::optional<LevelEntry> entry = entryAt(m_database, row);
    const QString address = entry ? entry->value(LevelKey::urlWebsite).toString() : QString();
    if (address.isEmpty())
        return;
    const QUrl url = urlForKey(*entry, LevelKey::urlWebsite);
    QString reason;
    if (!Desktop::isWebAddress(url))
        reason = localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                   "The level's web address \"%1\" is not an "
                                                   "http or https address. The launcher opens "
                                                   "only web pages."))
                     .arg(address);
    else if (!Desktop::openUrl(url))
        reason = localizedString(
                     QT_TRANSLATE_NOOP("Quillmor", "No web browser could be started for %1."))
                     .arg(url.toDisplayString());
    if (!reason.isEmpty())
        showAlert(localizedString(QT_TRANSLATE_NOOP("Quillmor", "The web page can't be opened.")),
                  reason, Alert::Warning);
}

void Launcher::deleteLevel(QObject*)
{
    const int row = commandRow();
    const std::optional<LevelEntry> entry = entryAt(m_database, row);
    if (!entry)
        return;
    if (entry->value(LevelKey::urlInstall).toString().isEmpty()) {
        if (isDefaultLevel(*entry))
            showAlert(localizedString(
                          QT_TRANSLATE_NOOP("Quillmor", "The default level can't be deleted!")),
                      localizedString(QT_TRANSLATE_NOOP(
                          "Quillmor", "The default level data is part of the game executable "
                                      "and can't be managed separately.")),
                      Alert::Informational);
        return;
    }
    // Asked of the disk, not of the "exists" flag, which may be older than the folder: a
    // folder that is there, level or not, goes to the Trash only when the user agrees.
    if (!folderPresent(*entry)) {
        removeLevel(row);
        return;
    }
    auto* alert = new Alert(m_window);
    alert->addButtonWithTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Move to Trash")));
    alert->addButtonWithTitle(QStringLiteral("Cancel"));
    alert->setMessageText(
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Move \"%1\" to the Trash?"))
            .arg(entry->value(LevelKey::name).toString()));
    alert->setInformativeText(localizedString(
        QT_TRANSLATE_NOOP("Quillmor", "This will move the level data into the trash bin and "
                                      "remove it from the level list.")));
    alert->setAlertStyle(Alert::Informational);
    alert->beginSheetModalForWindow(m_window, [this, level = *entry, row](int returnCode) {
        alertDidEndDeleteLevel(returnCode, level, row);
    });
}

void Launcher::alertDidEndDeleteLevel(int returnCode, const LevelEntry& level, int row)
{
    if (returnCode != Alert::FirstButtonReturn)
        return;
    // A refresh or a re-sort may have moved the level while the question was up, or a merge
    // replaced its entry; the folder it names is what the user agreed to delete.
    const auto isLevel = [&](int candidate) {
        const LevelEntry entry = m_database->objectAtIndex(candidate);
        return entry.isSharedWith(level) ||
               entry.value(LevelKey::urlInstall) == level.value(LevelKey::urlInstall);
    };
    const int rows = numberOfRowsInTableView();
    if (row >= rows || !isLevel(row)) {
        row = -1;
        for (int candidate = 0; candidate < rows && row < 0; ++candidate) {
            if (isLevel(candidate))
                row = candidate;
        }
    }
    if (row >= 0)
        removeLevel(row);
}

void Launcher::removeLevel(int row)
{
    if (row < 0 || row >= numberOfRowsInTableView())
        return;
    m_database->removeEntry(row);
    reloadLevelTable(m_levelTable);
    const int rows = numberOfRowsInTableView();
    if (rows > 0)
        selectRow(m_finder->nearestShownRow(row < rows ? row : rows - 1));
    updateLaunchButton();
}

void Launcher::revealLevelInFinder(QObject*)
{
    const std::optional<LevelEntry> entry = entryAt(m_database, commandRow());
    if (!entry)
        return;
    const QString install = entry->value(LevelKey::urlInstall).toString();
    if (!install.isEmpty()) {
        const QPointer<Launcher> self(this);
        Desktop::showInFileBrowser(QUrl(install).toLocalFile(), [self](const QUrl& folder) {
            if (self)
                self->showAlert(
                    localizedString(QT_TRANSLATE_NOOP("Quillmor", "The folder can't be shown.")),
                    localizedString(
                        QT_TRANSLATE_NOOP("Quillmor",
                                          "No file manager answered, and no program opens %1."))
                        .arg(QDir::toNativeSeparators(folder.toLocalFile())),
                    Alert::Warning);
        });
    } else if (isDefaultLevel(*entry)) {
        showAlert(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The default level can't be shown!")),
            localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                              "The default level data is part of the game "
                                              "executable and can't be shown separately.")),
            Alert::Informational);
    }
}

bool Launcher::validateMenuItem(QAction* item) const
{
    if (!levelMenuItems().contains(item))
        return true;
    const std::optional<LevelEntry> entry = entryAt(m_database, commandRow());
    if (!entry)
        return false;
    if (item == m_installMenuItem) {
        switch (checkInstall(*entry)) {
        case NotInstalled:
            item->setText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install")));
            return true;
        case UpdateAvailable:
            item->setText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Update")));
            return true;
        case UpToDate:
            item->setText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Reinstall")));
            return true;
        case NotDownloadable:
            return false;
        }
    }
    if (item == m_viewWebsiteMenuItem)
        return !entry->value(LevelKey::urlWebsite).toString().isEmpty();
    if (item == m_playLevelMenuItem)
        return canLaunch(*entry);
    if (item == m_revealInFinderMenuItem)
        return folderPresent(*entry);
    // The delete item: a level whose folder vanished can still leave the list.
    return urlForKey(*entry, LevelKey::urlInstall).isValid();
}

void Launcher::validateMenuItems()
{
    for (QAction* item : levelMenuItems())
        item->setEnabled(validateMenuItem(item));
    if (m_installs)
        m_installs->validateUpdateAll();
}
