#include "preferences/Preferences.h"

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "install/Locations.h"
#include "platform/Alert.h"
#include "platform/Desktop.h"
#include "platform/Localization.h"
#include "preferences/EntrySheet.h"
#include "preferences/PreferencesPanel.h"
#include "preferences/RepositoryTableModel.h"
#include "sources/Repositories.h"
#include "sources/RepositoryEntry.h"
#include "transfer/DownloadStatus.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

namespace {

RepositoryTableModel* modelOf(QTableView* table)
{
    return table ? qobject_cast<RepositoryTableModel*>(table->model()) : nullptr;
}

bool isWebScheme(const QString& scheme)
{
    return scheme == QStringLiteral("http") || scheme == QStringLiteral("https");
}

// A typed feed address as the user meant it, or why it cannot be one.
struct Address
{
    QUrl url;
    QString problem;
};

// The field proposes "http://"; an address typed or pasted after it brings its own scheme,
// which replaces the proposal ("http://https://host/feed" means "https://host/feed").
const QString kProposedScheme = QStringLiteral("http://");

Address readAddress(const QString& typed)
{
    QString text = typed.trimmed();
    static const QRegularExpression typedScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:/"));
    if (text.startsWith(kProposedScheme, Qt::CaseInsensitive) &&
        typedScheme.match(QStringView(text).mid(kProposedScheme.size())).hasMatch())
        text.remove(0, kProposedScheme.size());
    if (text.isEmpty())
        return {
            {},
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Enter the address of a level feed."))};
    // "example.org:8080/feed" parses with "example.org" as its scheme: what comes before a
    // colon is only a scheme when no port number follows it.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:(?![0-9])"));
    const QUrl url(scheme.match(text).hasMatch() ? text : QStringLiteral("http://") + text,
                   QUrl::TolerantMode);
    const QString name = url.scheme();
    if (!isWebScheme(name) && name != QStringLiteral("file"))
        return {{},
                localizedString(QT_TRANSLATE_NOOP(
                    "Quillmor", "Level feeds are read from http, https and file addresses "
                                "only."))};
    if (!url.isValid() || (isWebScheme(name) ? url.host().isEmpty() : url.path().isEmpty()))
        return {{},
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "This is not a complete address."))};
    return {url, {}};
}

} // namespace

Preferences::Preferences(QObject* parent) : QObject(parent) {}

void Preferences::setMainWindow(PreferencesPanel* panel)
{
    m_mainWindow = panel;
}

void Preferences::setEntrySheet(EntrySheet* sheet)
{
    m_entrySheet = sheet;
}

void Preferences::setRepositoryUrl(QLineEdit* field)
{
    m_repositoryUrl = field;
}

void Preferences::setRemoveRepositoryButton(QAbstractButton* button)
{
    m_removeRepositoryButton = button;
}

void Preferences::setDownloadStatus(DownloadStatus* downloadStatus)
{
    m_downloadStatus = downloadStatus;
}

void Preferences::setRepositoryTable(QTableView* table)
{
    m_repositoryTable = table;
    RepositoryTableModel* model = modelOf(table);
    if (!model)
        return;
    model->setDataSource(this);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, table] { tableViewSelectionDidChange(table); });
}

void Preferences::connectActions(PreferencesPanel* panel, EntrySheet* sheet)
{
    const auto action = [this](QAbstractButton* button, void (Preferences::*slot)(QObject*)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, slot, button] { (this->*slot)(button); });
    };
    action(panel->addButton(), &Preferences::addRepository);
    action(panel->removeButton(), &Preferences::removeRepository);
    action(panel->refreshButton(), &Preferences::refreshRepositories);
    action(panel->okButton(), &Preferences::ok);
    action(panel->cancelButton(), &Preferences::cancel);
    action(sheet->okButton(), &Preferences::okAdd);
    action(sheet->cancelButton(), &Preferences::cancelAdd);
    connect(panel, &PreferencesPanel::cancelRequested, this, [this, panel] { cancel(panel); });
    connect(sheet, &EntrySheet::cancelRequested, this, [this, sheet] { cancelAdd(sheet); });
}

void Preferences::awakeFromNib()
{
    m_repositories->firstLoad();
    m_database->firstLoad();
    RepositoryTableModel* model = modelOf(m_repositoryTable);
    if (model && model->sortDescriptors().isEmpty())
        model->setSortDescriptors({{RepositoryKey::name, true}});
    reloadRepositoryTable(m_repositoryTable);
    if (m_removeRepositoryButton)
        m_removeRepositoryButton->setEnabled(false);
    // The launcher's own refresh adds and renames sources while the panel is closed.
    if (m_mainWindow)
        m_mainWindow->installEventFilter(this);
}

bool Preferences::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_mainWindow && event->type() == QEvent::Show)
        reloadRepositoryTable(m_repositoryTable);
    return QObject::eventFilter(watched, event);
}

int Preferences::numberOfRowsInTableView(QTableView*) const
{
    return m_repositories ? m_repositories->numberOfRowsInTableView() : 0;
}

QVariant Preferences::objectValueForTableColumn(QTableView*, const QString& column, int row) const
{
    // The view may ask for a row it still counts while the list has just shrunk.
    if (!m_repositories || row < 0 || row >= m_repositories->count())
        return {};
    return m_repositories->objectValueForTableColumn(column, row);
}

void Preferences::tableViewSelectionDidChange(QTableView* table)
{
    if (m_removeRepositoryButton)
        m_removeRepositoryButton->setEnabled(selectedRow(table) >= 0);
}

void Preferences::sortDescriptorsDidChange(QTableView* table, const QList<SortDescriptor>&)
{
    reloadRepositoryTable(table);
}

void Preferences::reloadRepositoryTable(QTableView* table)
{
    RepositoryTableModel* model = modelOf(table);
    if (!model || !m_repositories)
        return;
    // The selection stays with its source whatever the sort or a merge does to the rows, so
    // Remove never takes a feed the user did not pick.
    const int row = selectedRow(table);
    const QUrl selected =
        row >= 0 && row < m_repositories->count()
            ? urlForKey(m_repositories->objectAtIndex(row), RepositoryKey::urlDownload)
            : QUrl();
    m_repositories->sortUsingDescriptors(model->sortDescriptors());
    model->reloadData();
    if (const auto index = m_repositories->indexOfSource(selected))
        table->selectRow(int(*index));
    tableViewSelectionDidChange(table);
}

void Preferences::wwwButton(const QModelIndex& index)
{
    // The sources table shows the list as it is, so the row is the list's.
    const int row = index.isValid() ? index.row() : -1;
    if (row < 0 || row >= m_repositories->count())
        return;
    const QUrl website = urlForKey(m_repositories->objectAtIndex(row), RepositoryKey::urlWebsite);
    // A feed writes its own website; only a web page may come of it, never a local file or
    // a handler of some other scheme.
    if (isWebScheme(website.scheme()))
        Desktop::openUrl(website);
}

void Preferences::addRepository(QObject*)
{
    if (m_entrySheet->parentWidget() != m_mainWindow)
        m_entrySheet->setParent(m_mainWindow, m_entrySheet->windowFlags());
    m_entrySheet->setMessage({});
    QString proposed = kProposedScheme;
    if (const QMimeData* pasted = QGuiApplication::clipboard()->mimeData()) {
        QUrl url;
        if (pasted->hasUrls() && !pasted->urls().isEmpty())
            url = pasted->urls().first();
        else if (pasted->hasText())
            // A copied line often brings its line end along.
            url = QUrl(pasted->text().trimmed(), QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty())
            proposed = absoluteString(url);
    }
    m_repositoryUrl->setText(proposed);
    m_entrySheet->setWindowModality(Qt::WindowModal);
    m_entrySheet->open();
    m_repositoryUrl->setFocus();
    // After the scheme everything is selected, so typing replaces a pasted address and keeps
    // its scheme; without one the insertion point goes to the end.
    const qsizetype scheme = proposed.indexOf(QStringLiteral("://"));
    const qsizetype start = scheme >= 0 ? scheme + 3 : proposed.size();
    m_repositoryUrl->setSelection(int(start), int(proposed.size() - start));
}

void Preferences::okAdd(QObject*)
{
    const Address address = readAddress(m_repositoryUrl->text());
    if (!address.url.isValid()) {
        // The sheet stays up with the text as typed, so it can be put right.
        m_entrySheet->setMessage(address.problem);
        m_repositoryUrl->setFocus();
        return;
    }
    m_entrySheet->setMessage({});
    m_entrySheet->done(QDialog::Accepted);
    m_removedSources.removeAll(address.url);
    feedRefresh()->queueNew(address.url);
    updateNextFeed();
}

void Preferences::cancelAdd(QObject*)
{
    m_entrySheet->setMessage({});
    m_entrySheet->done(QDialog::Rejected);
}

void Preferences::removeRepository(QObject*)
{
    const int row = selectedRow(m_repositoryTable);
    if (row < 0 || row >= m_repositories->count())
        return;
    // The feed's levels leave the catalogue on OK: Cancel brings the feed back, and its
    // levels must still be there. A fetch still queued for it would bring it back as well.
    const QUrl url = urlForKey(m_repositories->objectAtIndex(row), RepositoryKey::urlDownload);
    m_removedSources.append(url);
    feedRefresh()->remove(url);
    m_repositories->removeObjectAtIndex(row);
    reloadRepositoryTable(m_repositoryTable);
}

void Preferences::refreshRepositories(QObject*)
{
    if (m_repositories->count() == 0)
        return;
    for (qsizetype i = 0; i < m_repositories->count(); ++i) {
        const QUrl url = urlForKey(m_repositories->objectAtIndex(i), RepositoryKey::urlDownload);
        feedRefresh()->queue(url);
    }
    updateNextFeed();
}

FeedRefreshJob* Preferences::feedRefresh()
{
    if (m_feedRefresh)
        return m_feedRefresh;
    // Through the download controller, whose sheet and alerts attach to the panel.
    const QPointer<Preferences> self(this);
    const auto fetch = [self](const QUrl& feed, const HttpValidators&,
                              std::function<void(const FeedRefreshJob::Answer&)> done) {
        if (self)
            self->m_downloadStatus->loadData(
                feed, self->m_mainWindow, [self, done](const QVariant& bytes, const QUrl&) {
                    done({bytes, false,
                          self ? self->m_downloadStatus->lastValidators() : HttpValidators()});
                });
    };
    // What a new address serves is only known once it is read.
    m_feedRefresh = new FeedRefreshJob(m_database, m_repositories,
                                       FeedRefreshJob::Parsing::ByContent, fetch, this);
    connect(m_feedRefresh, &FeedRefreshJob::feedDone, this,
            [this] { reloadRepositoryTable(m_repositoryTable); });
    connect(m_feedRefresh, &Job::finished, this, [this](const Outcome& outcome) {
        if (!outcome.succeeded())
            return;
        reloadRepositoryTable(m_repositoryTable);
        reportNotFeeds();
    });
    return m_feedRefresh;
}

QList<QUrl> Preferences::checkFeedList() const
{
    return m_feedRefresh ? m_feedRefresh->pending() : QList<QUrl>();
}

void Preferences::ok(QObject*)
{
    for (const QUrl& url : std::exchange(m_removedSources, {}))
        m_database->removeEntriesForSource(url);
    m_repositories->save();
    m_database->save();
    m_mainWindow->done(0);
}

void Preferences::cancel(QObject*)
{
    m_removedSources.clear();
    m_repositories->load();
    reloadRepositoryTable(m_repositoryTable);
    m_mainWindow->done(-1);
}

void Preferences::updateNextFeed()
{
    feedRefresh()->start();
}

void Preferences::reportNotFeeds()
{
    const QList<QUrl> notFeeds = feedRefresh()->takeNotFeeds();
    if (notFeeds.isEmpty())
        return;
    QStringList addresses;
    for (const QUrl& url : notFeeds)
        addresses.append(url.toDisplayString());
    auto* alert = new Alert;
    alert->setAlertStyle(Alert::Informational);
    alert->setMessageText(
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The address does not serve a level feed.")));
    alert->setInformativeText(
        localizedString(
            QT_TRANSLATE_NOOP("Quillmor",
                              "No source was added for %1: its answer is neither an RSS feed nor a "
                              "list of levels."))
            .arg(addresses.join(QStringLiteral(", "))));
    alert->beginSheetModalForWindow(m_mainWindow);
}

int Preferences::selectedRow(QTableView* table) const
{
    if (!table || !table->selectionModel())
        return -1;
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.last().row();
}
