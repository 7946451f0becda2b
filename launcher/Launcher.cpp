#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "flows/GameRun.h"
#include "install/Locations.h"
#include "launcher/InstallRunner.h"
#include "launcher/LevelFinder.h"
#include "launcher/LevelTableModel.h"
#include "launcher/StoreAlerts.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Localization.h"
#include "platform/UserDefaults.h"
#include "preferences/PreferencesPanel.h"
#include "sources/Repositories.h"
#include "transfer/DownloadStatus.h"

#include <QAction>
#include <QCollator>
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>

namespace {

const QString kLastSelection = QStringLiteral("lastSelection");
const QString kSource = QStringLiteral("source");

LevelTableModel* levelModel(const QTableView* table)
{
    return table ? qobject_cast<LevelTableModel*>(table->model()) : nullptr;
}

// Names as people read them in the player's language: "Ärger" with the A's, "Level 9" before
// "Level 10".
const QCollator* readingOrder()
{
    static const QCollator collator = [] {
        QCollator made;
        made.setNumericMode(true);
        return made;
    }();
    return &collator;
}

// The table's order as sort descriptors; none while no column is chosen.
QList<SortDescriptor> sortDescriptors(const QTableView* table)
{
    const LevelTableModel* model = levelModel(table);
    const int section = table->horizontalHeader()->sortIndicatorSection();
    if (!model || section < 0 || section >= model->columnCount())
        return {};
    SortDescriptor order{model->columnIdentifier(section),
                         table->horizontalHeader()->sortIndicatorOrder() == Qt::AscendingOrder};
    order.collator = readingOrder();
    if (order.key == u"status")
        order.valueOf = [](const QVariantMap& entry) {
            return QVariant(int(LevelTableModel::statusOf(entry)));
        };
    return {order};
}

// Keeps the window's size and the table's columns for the next start.
void saveWindowState(const QMainWindow* window, const QTableView* table)
{
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setObject(window->saveGeometry(), Launcher::windowFrameKey);
    defaults.setObject(table->horizontalHeader()->saveState(), Launcher::levelTableColumnsKey);
    if (const auto* split = qobject_cast<const QSplitter*>(table->parentWidget()))
        defaults.setObject(split->saveState(), Launcher::levelSplitterKey);
}

} // namespace

const QString Launcher::windowFrameKey = QStringLiteral("LauncherWindow Frame");
const QString Launcher::levelTableColumnsKey = QStringLiteral("LevelTable Columns");
const QString Launcher::levelSplitterKey = QStringLiteral("LevelTable Splitter");

Launcher::Launcher(QObject* parent) : QObject(parent)
{
    QVariantMap defaults{{kLastSelection, QString()}};
    const QVariant source =
        Bundle::main().objectForInfoDictionaryKey(QStringLiteral("QuillmorLauncherDefaultSource"));
    if (source.isValid())
        defaults.insert(kSource, source);
    UserDefaults::standard().registerDefaults(defaults);
}

QList<QAction*> Launcher::levelMenuItems() const
{
    return {m_installMenuItem, m_playLevelMenuItem, m_deleteLevelMenuItem, m_viewWebsiteMenuItem,
            m_revealInFinderMenuItem};
}

void Launcher::awakeFromNib()
{
    m_storeAlerts = new StoreAlerts(m_window, this);
    m_finder = new LevelFinder(m_levelTable, levelModel(m_levelTable), m_levelFilter,
                               m_levelCountsLabel, this);
    connect(m_finder, &LevelFinder::selectionHidden, this, &Launcher::selectRow);
    m_installs = new InstallRunner(m_database, m_downloadStatus, m_window, this);
    m_installs->setUpdateAllControls(m_updateAllMenuItem, m_updateAllButton);
    connect(m_finder, &LevelFinder::countsChanged, m_installs,
            [this] { m_installs->setUpdatesAvailable(m_finder->updatesAvailable()); });
    // A level put in place is shown and selected.
    connect(m_installs, &InstallRunner::levelInstalled, this, [this](const QUrl& folder) {
        reloadLevelTable(m_levelTable);
        const qsizetype row = m_database->indexOfInstallFolder(folder);
        if (row >= 0)
            selectRow(int(row));
        updateLaunchButton();
    });
    connect(m_installs, &InstallRunner::playRequested, this, [this](const QUrl& folder) {
        const qsizetype row = m_database->indexOfInstallFolder(folder);
        if (row >= 0)
            playLevelAtRow(int(row));
    });
    // Fetched through the download controller: its sheet on the window, its alerts for the
    // feeds that fail.
    const auto fetch = [this](const QUrl& feed, const HttpValidators& known,
                              std::function<void(const FeedRefreshJob::Answer&)> done) {
        m_downloadStatus->loadData(
            feed, m_window,
            [this, done](const QVariant& bytes, const QUrl&) {
                done({bytes, m_downloadStatus->notModified(), m_downloadStatus->lastValidators()});
            },
            known);
    };
    m_feedRefresh = new FeedRefreshJob(m_database, m_repositories,
                                       FeedRefreshJob::Parsing::ByStoredFormat, fetch, this);
    connect(m_feedRefresh, &Job::finished, this, [this](const Outcome& outcome) {
        if (outcome.succeeded())
            reloadLevelTable(m_levelTable);
    });
    // Before the loads, which tell what they found wrong with the files through these.
    const QPointer<Launcher> self(this);
    const auto told = [self](const QString& message, const QString& detail) {
        if (self)
            self->m_storeAlerts->storeDidFail(message, detail);
    };
    m_database->setFailureHandler(told);
    UserDefaults::standard().setFailureHandler(told);
    m_repositories->firstLoad();
    m_database->firstLoad();
    m_installs->clearStaleDownloads();

    QHeaderView* header = m_levelTable->horizontalHeader();
    if (sortDescriptors(m_levelTable).isEmpty()) {
        // Set quietly: the reload below is the one this order needs.
        const QSignalBlocker quiet(header);
        header->setSortIndicator(levelModel(m_levelTable)->columnOf(QStringLiteral("name")),
                                 Qt::AscendingOrder);
    }
    reloadLevelTable(m_levelTable);

    // The level last played is selected again, the built-in level at a first start.
    const QString last = UserDefaults::standard().objectForKey(kLastSelection).toString();
    const int rows = numberOfRowsInTableView();
    int found = -1;
    if (last.isEmpty()) {
        found = int(m_database->indexOfLevel(LevelIdentity{}));
    } else {
        const QUrl wanted(last, QUrl::StrictMode);
        for (int row = 0; wanted.isValid() && row < rows && found < 0; ++row) {
            if (urlForKey(m_database->objectAtIndex(row), LevelKey::urlInstall) == wanted)
                found = row;
        }
    }
    if (found >= 0)
        selectRow(found);

    connect(m_levelTable, &QAbstractItemView::doubleClicked, this,
            [this] { launchQuillmor(m_levelTable); });
    checkFeeds();
}

void Launcher::selectRow(int row)
{
    QItemSelectionModel* selection = m_levelTable->selectionModel();
    // A row the filter hides is never selected: the commands would act on a level nobody sees.
    if (m_levelTable->isRowHidden(row))
        row = m_finder->nearestShownRow(row);
    if (row < 0 || row >= numberOfRowsInTableView() || m_levelTable->isRowHidden(row)) {
        selection->clear();
        m_lauchQuillmorButton->setEnabled(false);
        return;
    }
    const QModelIndex index = m_levelTable->model()->index(row, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int Launcher::numberOfRowsInTableView() const
{
    return m_database ? m_database->numberOfRowsInTableView() : 0;
}

QVariant Launcher::objectValueForTableColumn(const QString& column, int row) const
{
    return m_database->objectValueForTableColumn(column, row);
}

void Launcher::reloadLevelTable(QTableView* table)
{
    LevelTableModel* model = levelModel(table);
    if (!model)
        return;
    // The catalogue may have changed under the table since the selection was made (a merge
    // drops and adds rows), so the selected row's number means nothing now: the level is found
    // again by the identity noted when it was selected.
    const std::optional<LevelIdentity> kept = m_selectedLevel;
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    m_database->sortUsingDescriptors(sortDescriptors(table));
    QList<LevelEntry> levels;
    levels.reserve(m_database->count());
    for (qsizetype row = 0; row < m_database->count(); ++row)
        levels.append(m_database->objectAtIndex(row));
    model->setLevels(std::move(levels));
    if (table == m_levelTable) {
        m_finder->levelsDidReload();
        validateMenuItems();
    }

    if (!kept)
        return;
    // A level that left the catalogue hands the selection to the row now where it was.
    const qsizetype row = m_database->indexOfLevel(*kept);
    const int rows = numberOfRowsInTableView();
    if (row >= 0)
        selectRow(int(row));
    else if (!selected.isEmpty() && rows > 0)
        selectRow(qMin(selected.first().row(), rows - 1));
}

void Launcher::sortDescriptorsDidChange(QTableView* table)
{
    reloadLevelTable(table);
}

void Launcher::tableViewSelectionDidChange()
{
    // Asked of the rows the table shows: the catalogue may have changed since their reload.
    const QModelIndexList selected = m_levelTable->selectionModel()->selectedRows();
    if (selected.isEmpty())
        m_selectedLevel.reset();
    else
        m_selectedLevel =
            selected.first().data(LevelTableModel::IdentityRole).value<LevelIdentity>();
    updateLaunchButton();
    // The menu bar's items are read by screen readers while the menu is closed, and their
    // shortcuts act while it is: they follow the selection, not the last opening of a menu.
    validateMenuItems();
}

void Launcher::updateLaunchButton()
{
    const QModelIndexList selected = m_levelTable->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    m_lauchQuillmorButton->setEnabled(canLaunch(m_database->objectAtIndex(selected.first().row())));
}

void Launcher::showLevelMenu(const QPoint& pos)
{
    const QModelIndex index = m_levelTable->indexAt(pos);
    if (!index.isValid())
        return;
    m_clickedRow = index.row();
    validateMenuItems();
    QMenu menu(m_levelTable);
    menu.setAccessibleName(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Level commands")));
    // In the order of the menu bar's "Level" menu, the one command that removes apart.
    menu.addActions(
        {m_playLevelMenuItem, m_installMenuItem, m_viewWebsiteMenuItem, m_revealInFinderMenuItem});
    menu.addSeparator();
    menu.addAction(m_deleteLevelMenuItem);
    menu.exec(m_levelTable->viewport()->mapToGlobal(pos));
    m_clickedRow = -1;
    validateMenuItems();
}

void Launcher::showPreferences(QObject*)
{
    // The sheet refreshes feeds through the one download controller: never while a refresh
    // or an install of the launcher's own holds it.
    if (m_downloadStatus && m_downloadStatus->isLoading())
        return;
    m_preferenceSheet->setWindowModality(Qt::WindowModal);
    m_preferenceSheet->open();
}

void Launcher::preferenceSheetDidEnd(int)
{
    reloadLevelTable(m_levelTable);
    m_preferenceSheet->hide();
}

bool Launcher::eventFilter(QObject* watched, QEvent* event)
{
    // Quitting would end the game with the launcher: the window stays until the game ends.
    // Otherwise what is still unsaved is saved, and the player asked when that fails.
    if (watched == m_window && event->type() == QEvent::Close) {
        const bool mayClose =
            !m_gameRun && (!m_storeAlerts || m_storeAlerts->windowMayClose([this] {
                saveWindowState(m_window, m_levelTable);
                m_database->save();
            }));
        if (!mayClose) {
            event->ignore();
            return true;
        }
    }
    // A sheet on the window (a transfer, an install, a question) holds Update All back.
    if (watched == m_window &&
        (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked)) {
        if (m_installs)
            m_installs->setWindowBlocked(event->type() == QEvent::WindowBlocked);
    }
    return QObject::eventFilter(watched, event);
}

void Launcher::showAlert(const QString& message, const QString& detail, int style)
{
    Alert::showSheet(m_window, message, detail, Alert::AlertStyle(style));
}
