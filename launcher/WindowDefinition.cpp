#include "launcher/WindowDefinition.h"

#include "catalogue/Database.h"
#include "cells/DescriptionCell.h"
#include "launcher/AboutSheet.h"
#include "launcher/DropTarget.h"
#include "launcher/Launcher.h"
#include "launcher/LevelDetails.h"
#include "launcher/LevelLinks.h"
#include "launcher/LevelTableAccessible.h"
#include "launcher/LevelTableModel.h"
#include "launcher/WindowPlacement.h"
#include "platform/Localization.h"
#include "platform/UserDefaults.h"
#include "preferences/EntrySheet.h"
#include "preferences/Preferences.h"
#include "preferences/PreferencesPanel.h"
#include "sources/Repositories.h"
#include "transfer/DownloadStatus.h"
#include "ui_LauncherWindow.h"

#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>

namespace {

// Presses the launch button for Return and Enter typed into the widgets it watches. A key
// event, unlike a shortcut, reaches them only while they have the focus and no sheet holds
// the window.
class ReturnPlays : public QObject
{
public:
    explicit ReturnPlays(QPushButton* launch) : QObject(launch), m_launch(launch) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        if (m_launch->isEnabled())
            m_launch->click();
        return true;
    }

private:
    QPushButton* m_launch;
};

} // namespace

WindowDefinition::WindowDefinition(QObject* parent) : QObject(parent) {}

QIcon WindowDefinition::applicationIcon()
{
    // The theme's copy where the launcher is installed; the one built in from the build tree.
    return QIcon::fromTheme(QStringLiteral("org.quillmor.Launcher"),
                            QIcon(QStringLiteral(":/launcher/org.quillmor.Launcher.svg")));
}

WindowDefinition::~WindowDefinition()
{
    // The window's views ask the Launcher and the catalogue until they are gone.
    m_window.reset();
}

void WindowDefinition::instantiate()
{
    m_repositories = std::make_unique<Repositories>();
    m_database = std::make_unique<Database>();
    m_downloadStatus = new DownloadStatus(this);
    m_launcher = new Launcher(this);
    m_preferences = new Preferences(this);
    m_window = std::make_unique<QMainWindow>();
    m_ui = std::make_unique<Ui::LauncherWindow>();
    m_ui->setupUi(m_window.get());
    m_window->setWindowIcon(applicationIcon());
    m_preferencePanel = new PreferencesPanel(m_window.get());
    m_entrySheet = new EntrySheet(m_preferencePanel);

    QTableView* table = m_ui->levelTable;
    m_levelModel = new LevelTableModel({QStringLiteral("name"), QStringLiteral("status"),
                                        QStringLiteral("author"), QStringLiteral("description"),
                                        QStringLiteral("source")},
                                       m_window.get());
    m_levelModel->setSourceName([repositories = m_repositories.get()](const QString& url) {
        return repositories->getNameForURL(url);
    });
    table->setModel(m_levelModel);
    m_levelCell = new DescriptionCell(table);
    table->setItemDelegateForColumn(m_levelModel->columnOf(QStringLiteral("description")),
                                    m_levelCell);
    LevelTableAccessible::install(table, m_levelCell);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    // No order until start-up picks one or the stored columns bring theirs.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    // The selected level's details under the table; the player moves the split between them.
    auto* split = new QSplitter(Qt::Vertical, m_ui->centralWidget);
    split->setObjectName(QStringLiteral("levelSplitter"));
    split->setChildrenCollapsible(false);
    delete m_ui->mainLayout->replaceWidget(table, split);
    split->addWidget(table);
    auto* details = new LevelDetails(split);
    split->addWidget(details);
    // A window made smaller or larger shares the change between the two, the table the most:
    // a window that opens small (a high scale factor) still shows more levels than details.
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    details->setTable(table);
    connect(details, &LevelDetails::websiteRequested, m_launcher, &Launcher::wwwButton);
    restoreWindowState();

    m_database->setRepositories(m_repositories.get());
    m_launcher->setDatabase(m_database.get());
    m_launcher->setRepositories(m_repositories.get());
    m_launcher->setDownloadStatus(m_downloadStatus);
    m_launcher->setLauchQuillmorButton(m_ui->lauchQuillmorButton);
    m_launcher->setInstallMenuItem(m_ui->installMenuItem);
    m_launcher->setPlayLevelMenuItem(m_ui->playLevelMenuItem);
    m_launcher->setDeleteLevelMenuItem(m_ui->deleteLevelMenuItem);
    m_launcher->setViewWebsiteMenuItem(m_ui->viewWebsiteMenuItem);
    m_launcher->setRevealInFinderMenuItem(m_ui->revealInFinderMenuItem);
    m_launcher->setPreferenceSheet(m_preferencePanel);
    m_launcher->setLevelTable(table);
    m_launcher->setLevelFilter(m_ui->levelFilter);
    m_launcher->setLevelCountsLabel(m_ui->levelCounts);
    m_launcher->setUpdateAllMenuItem(m_ui->updateAllMenuItem);
    m_launcher->setUpdateAllButton(m_ui->updateAllButton);
    m_launcher->setWindow(m_window.get());

    m_preferences->setMainWindow(m_preferencePanel);
    m_preferences->setEntrySheet(m_entrySheet);
    m_preferences->setRepositoryTable(m_preferencePanel->repositoryTable());
    m_preferences->setRepositoryUrl(m_entrySheet->repositoryUrl());
    m_preferences->setRemoveRepositoryButton(m_preferencePanel->removeButton());
    m_preferences->setDatabase(m_database.get());
    m_preferences->setRepositories(m_repositories.get());
    m_preferences->setDownloadStatus(m_downloadStatus);

    connectActions();
}

void WindowDefinition::restoreWindowState()
{
    const UserDefaults& defaults = UserDefaults::standard();
    WindowPlacement::place(m_window.get(),
                           defaults.objectForKey(Launcher::windowFrameKey).toByteArray());
    QHeaderView* header = m_ui->levelTable->horizontalHeader();
    const QByteArray columns = defaults.objectForKey(Launcher::levelTableColumnsKey).toByteArray();
    if (columns.isEmpty() || !header->restoreState(columns)) {
        const int widths[] = {170, 140, 130, 400, 150};
        for (int column = 0; column < int(std::size(widths)); ++column)
            header->resizeSection(column, widths[column]);
        // The status column as wide as its longest word in the player's language, icon included.
        const QFontMetrics metrics = m_ui->levelTable->fontMetrics();
        int status = 0;
        for (const auto state :
             {LevelTableModel::Status::UpdateAvailable, LevelTableModel::Status::Missing,
              LevelTableModel::Status::Installed, LevelTableModel::Status::BuiltIn,
              LevelTableModel::Status::Available})
            status =
                std::max(status, metrics.horizontalAdvance(LevelTableModel::statusText(state)));
        const int icon = m_ui->levelTable->style()->pixelMetric(QStyle::PM_SmallIconSize);
        header->resizeSection(m_levelModel->columnOf(QStringLiteral("status")),
                              status + icon + 3 * metrics.averageCharWidth());
    }
    // The description takes what the window gives beyond the other columns, and never less
    // than its buttons need: a narrow window scrolls rather than cut a button in half.
    header->setSectionResizeMode(m_levelModel->columnOf(QStringLiteral("description")),
                                 QHeaderView::Stretch);
    header->setMinimumSectionSize(
        std::max(header->minimumSectionSize(), m_levelCell->buttonsWidth(m_ui->levelTable)));
    auto* split = qobject_cast<QSplitter*>(m_ui->levelTable->parentWidget());
    const QByteArray sizes = defaults.objectForKey(Launcher::levelSplitterKey).toByteArray();
    if (split && (sizes.isEmpty() || !split->restoreState(sizes)))
        split->setSizes({360, 130});
}

void WindowDefinition::connectActions()
{
    Launcher* launcher = m_launcher;
    QTableView* table = m_ui->levelTable;

    connect(m_levelCell, &DescriptionCell::buttonClicked, launcher,
            [launcher](const QModelIndex& index, DescriptionCell::Button kind) {
                switch (kind) {
                case DescriptionCell::Button::Install:
                    return launcher->installButton(index);
                case DescriptionCell::Button::Update:
                    return launcher->updateButton(index);
                case DescriptionCell::Button::Www:
                    return launcher->wwwButton(index);
                }
            });
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, launcher,
            &Launcher::tableViewSelectionDidChange);
    connect(table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, launcher,
            [launcher, table] { launcher->sortDescriptorsDidChange(table); });
    connect(table, &QWidget::customContextMenuRequested, launcher, &Launcher::showLevelMenu);

    QLineEdit* filter = m_ui->levelFilter;
    // The field's clear button shows only an icon; its action's text names it for screen readers.
    if (auto* clear = filter->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction"))) {
        clear->setText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Clear the search")));
        clear->setToolTip(clear->text());
    }
    auto* findKey = new QShortcut(QKeySequence::Find, m_window.get());
    connect(findKey, &QShortcut::activated, filter, [filter] {
        filter->setFocus(Qt::ShortcutFocusReason);
        filter->selectAll();
    });
    auto* clearKey = new QShortcut(QKeySequence(Qt::Key_Escape), filter);
    clearKey->setContext(Qt::WidgetShortcut);
    connect(clearKey, &QShortcut::activated, filter, &QLineEdit::clear);

    QPushButton* launch = m_ui->lauchQuillmorButton;
    connect(launch, &QPushButton::clicked, launcher,
            [launcher, launch] { launcher->launchQuillmor(launch); });
    // Return plays the selected level whenever the launch button would, from the table and the
    // filter field only: on a button or in a sheet it means what it means there.
    auto* returnPlays = new ReturnPlays(launch);
    table->installEventFilter(returnPlays);
    filter->installEventFilter(returnPlays);
    connect(m_ui->playLevelMenuItem, &QAction::triggered, launcher,
            [launcher, table] { launcher->playLevel(table); });
    connect(m_ui->installMenuItem, &QAction::triggered, launcher,
            [launcher, table] { launcher->installFromMenuItem(table); });
    connect(m_ui->viewWebsiteMenuItem, &QAction::triggered, launcher,
            [launcher, table] { launcher->viewWebsiteFromMenuItem(table); });
    connect(m_ui->deleteLevelMenuItem, &QAction::triggered, launcher,
            [launcher, table] { launcher->deleteLevel(table); });
    connect(m_ui->revealInFinderMenuItem, &QAction::triggered, launcher,
            [launcher, table] { launcher->revealLevelInFinder(table); });
    QPushButton* updateAll = m_ui->updateAllButton;
    connect(updateAll, &QPushButton::clicked, launcher,
            [launcher, updateAll] { launcher->updateAllLevels(updateAll); });
    connect(m_ui->updateAllMenuItem, &QAction::triggered, launcher,
            [this] { m_launcher->updateAllLevels(m_ui->updateAllMenuItem); });
    // The menu bar's "Level" menu holds the same items, for the selected row.
    connect(m_ui->levelMenu, &QMenu::aboutToShow, launcher, &Launcher::validateMenuItems);
    // Delete asks about the selected level; the item's own shortcut only shows the key and
    // answers inside an open menu, where the item is validated.
    auto* deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), table);
    deleteKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(deleteKey, &QShortcut::activated, launcher,
            [launcher, table] { launcher->deleteLevel(table); });

    connect(m_ui->actionInstallFromFile, &QAction::triggered, launcher,
            [this] { m_launcher->installFromFile(m_ui->actionInstallFromFile); });
    connect(m_ui->actionRefreshAllFeeds, &QAction::triggered, launcher, &Launcher::refreshAllFeeds);
    connect(m_ui->actionPreferences, &QAction::triggered, launcher,
            [this] { m_launcher->showPreferences(m_ui->actionPreferences); });
    connect(m_ui->levelsMenu, &QMenu::aboutToShow, launcher,
            [this] { m_ui->actionPreferences->setEnabled(!m_downloadStatus->isLoading()); });
    connect(m_preferencePanel, &QDialog::finished, launcher, &Launcher::preferenceSheetDidEnd);
    m_preferences->connectActions(m_preferencePanel, m_entrySheet);
    connect(m_preferencePanel->descriptionCell(), &DescriptionCell::buttonClicked, m_preferences,
            [this](const QModelIndex& index, DescriptionCell::Button kind) {
                if (kind == DescriptionCell::Button::Www)
                    m_preferences->wwwButton(index);
            });
    connect(m_ui->actionAbout, &QAction::triggered, this,
            [this] { AboutSheet::showSheet(m_window.get()); });
    // Quitting closes the window, so the window is saved as on any other close.
    connect(m_ui->actionQuit, &QAction::triggered, m_window.get(), &QWidget::close);
    m_window->installEventFilter(launcher);
}

void WindowDefinition::awake()
{
    m_launcher->awakeFromNib();
    m_preferences->awakeFromNib();
    // Levels from outside the window, and dropped on it, need the launcher awake.
    m_levelLinks = new LevelLinks(m_launcher, this);
    new DropTarget(m_window.get(), m_ui->levelTable, m_levelLinks);
}
