#include "launcher/LevelLinks.h"

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "flows/InstallQueueJob.h"
#include "launcher/InstallRunner.h"
#include "launcher/Launcher.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "sources/Repositories.h"
#include "transfer/DownloadStatus.h"

#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>

LevelLinks::LevelLinks(Launcher* launcher, QObject* parent) : QObject(parent), m_launcher(launcher)
{
    m_wait.setInterval(200);
    connect(&m_wait, &QTimer::timeout, this, &LevelLinks::next);
}

void LevelLinks::open(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls)
        m_pending.append(readOpenTarget(url));
    activate();
    next();
}

void LevelLinks::activate()
{
    QMainWindow* window = m_launcher->window();
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

bool LevelLinks::windowBusy() const
{
    return QApplication::activeModalWidget() || m_launcher->installRunner()->isRunning() ||
           m_launcher->downloadStatus()->isLoading() || m_launcher->isPlaying() ||
           (m_feeds && m_feeds->isRunning()) || !m_launcher->window()->isVisible();
}

void LevelLinks::next()
{
    if (m_pending.isEmpty())
        return m_wait.stop();
    // Asked again while anything holds the window; nothing else says when all of it has gone.
    if (windowBusy())
        return m_wait.start();
    const OpenTarget first = m_pending.takeFirst();
    if (first.kind == OpenTarget::Refused) {
        refuse(first);
    } else if (first.isLink()) {
        ask(first);
    } else {
        QList<OpenTarget> archives{first};
        while (!m_pending.isEmpty() && m_pending.first().isArchive())
            archives.append(m_pending.takeFirst());
        install(archives);
    }
    if (!m_pending.isEmpty())
        m_wait.start();
}

void LevelLinks::ask(const OpenTarget& link)
{
    const bool install = link.kind == OpenTarget::InstallLink;
    const QUrl fetched = install ? link.archive : link.feed;
    auto* alert = new Alert(m_launcher->window());
    // The default: a page cannot have a level installed by a player pressing Return.
    alert->addButtonWithTitle(QStringLiteral("Cancel"));
    alert->addButtonWithTitle(install ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install"))
                                      : localizedString(QT_TRANSLATE_NOOP("Quillmor", "Add feed")));
    alert->setAlertStyle(Alert::Warning);
    if (install) {
        alert->setMessageText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install \"%1\" from %2?"))
                .arg(OpenTarget::fileName(fetched), fetched.host()));
        alert->setInformativeText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                              "A link asks the launcher to download %1 and "
                                              "install the level in it. Install levels only "
                                              "from sites you trust."))
                .arg(fetched.toDisplayString()));
    } else {
        alert->setMessageText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Add the level feed \"%1\" from %2?"))
                .arg(OpenTarget::fileName(fetched), fetched.host()));
        alert->setInformativeText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                              "A link asks the launcher to read the feed %1 "
                                              "and list the levels it offers. The feed is "
                                              "read again at every start."))
                .arg(fetched.toDisplayString()));
    }
    QCheckBox* addFeedToo = nullptr;
    if (install && link.feed.isValid() && !m_launcher->repositories()->indexOfSource(link.feed)) {
        addFeedToo = new QCheckBox(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Also add the level feed \"%1\" from %2"))
                .arg(OpenTarget::fileName(link.feed), link.feed.host()));
        alert->setCheckBox(addFeedToo);
    }
    alert->beginSheetModalForWindow(m_launcher->window(), [this, link, addFeedToo](int code) {
        if (code == Alert::SecondButtonReturn) {
            const OpenTarget archive{OpenTarget::WebArchive, link.archive, link.feed, {}};
            if (link.kind == OpenTarget::FeedLink)
                addFeed(link.feed, std::nullopt);
            else if (addFeedToo && addFeedToo->isChecked())
                addFeed(link.feed, archive);
            else
                m_pending.prepend(archive);
        }
        // Once the sheet has gone.
        QTimer::singleShot(0, this, &LevelLinks::next);
    });
}

void LevelLinks::refuse(const OpenTarget& target)
{
    Alert::showSheet(m_launcher->window(),
                     localizedString(QT_TRANSLATE_NOOP("Quillmor", "This cannot be opened.")),
                     target.problem, Alert::Warning);
}

void LevelLinks::addFeed(const QUrl& feed, const std::optional<OpenTarget>& then)
{
    if (!m_feeds) {
        // Through the download controller: its sheet on the window, its alert for a failure.
        const auto fetch = [this](const QUrl& url, const HttpValidators& known,
                                  std::function<void(const FeedRefreshJob::Answer&)> done) {
            DownloadStatus* status = m_launcher->downloadStatus();
            status->loadData(
                url, m_launcher->window(),
                [status, done](const QVariant& bytes, const QUrl&) {
                    done({bytes, status->notModified(), status->lastValidators()});
                },
                known);
        };
        // What a new address serves is only known once it is read.
        m_feeds = new FeedRefreshJob(m_launcher->database(), m_launcher->repositories(),
                                     FeedRefreshJob::Parsing::ByContent, fetch, this);
        connect(m_feeds, &Job::finished, this, [this] {
            m_launcher->reloadLevelTable(m_launcher->levelTable());
            QStringList notFeeds;
            for (const QUrl& url : m_feeds->takeNotFeeds())
                notFeeds.append(url.toDisplayString());
            if (!notFeeds.isEmpty())
                Alert::showSheet(
                    m_launcher->window(),
                    localizedString(
                        QT_TRANSLATE_NOOP("Quillmor", "The address does not serve a level feed.")),
                    localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                                      "No source was added for %1: its answer is "
                                                      "neither an RSS feed nor a list of levels."))
                        .arg(notFeeds.join(QStringLiteral(", "))),
                    Alert::Informational);
            if (m_afterFeed)
                m_pending.prepend(*std::exchange(m_afterFeed, std::nullopt));
            next();
        });
    }
    m_afterFeed = then;
    m_feeds->queueNew(feed);
    m_feeds->start();
}

void LevelLinks::install(const QList<OpenTarget>& archives)
{
    Database* database = m_launcher->database();
    QList<InstallQueueJob::Item> items;
    for (const OpenTarget& archive : archives) {
        const qsizetype index = archive.kind == OpenTarget::WebArchive
                                    ? database->indexOfArchiveUrl(archive.archive, archive.feed)
                                    : -1;
        if (index >= 0)
            items.append({LevelIdentity::of(database->objectAtIndex(index)), {}});
        else
            items.append({std::nullopt, archive.archive});
    }
    m_launcher->installRunner()->installAll(items);
}
