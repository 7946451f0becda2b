#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "install/StaleDownloads.h"
#include "platform/Localization.h"
#include "transfer/DownloadStatus.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

// The four texts a row shows, in the order they are joined; a line break between them keeps
// a typed text from matching across two columns.
const QString kFindColumns[] = {QStringLiteral("name"), QStringLiteral("author"),
                                QStringLiteral("description"), QStringLiteral("source")};

// "1 level installed" reads wrong as "1 levels installed" in English, where no translation
// is loaded; a translation picks its own plural forms from the %n text.
QString countText(int count, const char* one, const char* many)
{
    if (count == 1)
        return localizedString(one);
    return QCoreApplication::translate("Quillmor", many, nullptr, count);
}

// The file name an entry's archive has in the download folder, empty for none.
QString downloadedName(const LevelEntry& entry, const QString& key)
{
    const QUrl url = urlForKey(entry, key);
    if (!url.isValid())
        return {};
    return QFileInfo(url.isLocalFile() ? url.toLocalFile() : url.path()).fileName();
}

} // namespace

QString Launcher::foldedForFind(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (!c.isMark())
            bare.append(c);
    }
    return bare.toCaseFolded();
}

void Launcher::levelsDidReload()
{
    const int rows = numberOfRowsInTableView();
    m_foldedRows.clear();
    m_foldedRows.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        QStringList texts;
        for (const QString& column : kFindColumns)
            texts.append(objectValueForTableColumn(column, row).toString());
        m_foldedRows.append(foldedForFind(texts.join(u'\n')));
    }
    applyLevelFilter();
    updateLevelCounts();
}

void Launcher::levelFilterDidChange()
{
    m_foldedFilter = m_levelFilter ? foldedForFind(m_levelFilter->text()) : QString();
    applyLevelFilter();
}

void Launcher::applyLevelFilter()
{
    if (!m_levelTable)
        return;
    const int rows = int(m_foldedRows.size());
    for (int row = 0; row < rows; ++row) {
        const bool hide =
            !m_foldedFilter.isEmpty() && !m_foldedRows.at(row).contains(m_foldedFilter);
        if (m_levelTable->isRowHidden(row) != hide)
            m_levelTable->setRowHidden(row, hide);
    }
    // A selection nobody can see would still be played, installed or deleted by the
    // commands, so it goes, and the launch button with it.
    QItemSelectionModel* selection = m_levelTable->selectionModel();
    const QModelIndexList selected = selection ? selection->selectedRows() : QModelIndexList();
    if (!selected.isEmpty() && m_levelTable->isRowHidden(selected.first().row())) {
        selection->clear();
        m_lauchQuillmorButton->setEnabled(false);
    }
}

int Launcher::nearestShownRow(int row) const
{
    const int rows = numberOfRowsInTableView();
    for (int candidate = row; candidate < rows; ++candidate) {
        if (!m_levelTable->isRowHidden(candidate))
            return candidate;
    }
    for (int candidate = row - 1; candidate >= 0; --candidate) {
        if (!m_levelTable->isRowHidden(candidate))
            return candidate;
    }
    return row;
}

void Launcher::updateLevelCounts()
{
    if (!m_levelCountsLabel)
        return;
    int installed = 0;
    int updates = 0;
    for (qsizetype index = 0; index < m_database->count(); ++index) {
        const LevelEntry entry = m_database->objectAtIndex(index);
        if (!entry.value(LevelKey::urlInstall).toString().isEmpty() &&
            entry.value(LevelKey::exists).toBool())
            ++installed;
        if (checkInstall(entry) == UpdateAvailable)
            ++updates;
    }
    m_levelCountsLabel->setText(
        countText(installed, QT_TRANSLATE_NOOP("Quillmor", "1 level installed"),
                  QT_TRANSLATE_NOOP("Quillmor", "%n levels installed")) +
        localizedString(QT_TRANSLATE_NOOP("Quillmor", ", ")) +
        countText(updates, QT_TRANSLATE_NOOP("Quillmor", "1 update available"),
                  QT_TRANSLATE_NOOP("Quillmor", "%n updates available")));
}

void Launcher::moveStaleDownloadsToTrash()
{
    const auto folder = getDownloadDir();
    if (!folder)
        return;
    QSet<QString> inUse;
    for (qsizetype index = 0; index < m_database->count(); ++index) {
        const LevelEntry entry = m_database->objectAtIndex(index);
        for (const QString& key : {LevelKey::urlZip, LevelKey::urlDownload}) {
            const QString name = downloadedName(entry, key);
            if (!name.isEmpty())
                inUse.insert(name);
        }
    }
    QSet<QString> busy;
    if (m_downloadStatus && m_downloadStatus->fileBeingWritten().isLocalFile())
        busy.insert(
            QFileInfo(m_downloadStatus->fileBeingWritten().toLocalFile()).absoluteFilePath());
    for (const QString& path : chooseStaleDownloads(*folder, inUse, busy))
        moveToTrash(QUrl::fromLocalFile(path));
}
