#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "launcher/InstallRunner.h"
#include "platform/Localization.h"

#include <QFileDialog>
#include <QMainWindow>

void Launcher::downloadSelectedLevel(QObject*)
{
    const int row = commandRow();
    if (row >= 0 && row < numberOfRowsInTableView())
        downloadLevel(m_database->objectAtIndex(row));
}

void Launcher::downloadLevel(const LevelEntry& entry)
{
    m_installs->installLevel(LevelIdentity::of(entry));
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
    if (!urls.isEmpty() && urls.first().isLocalFile())
        m_installs->installArchive(urls.first());
}

void Launcher::updateAllLevels(QObject*)
{
    m_installs->updateAll();
}
