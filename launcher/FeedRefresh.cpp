#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "install/Locations.h"
#include "sources/Repositories.h"
#include "transfer/DownloadStatus.h"

#include <QDateTime>
#include <QMainWindow>

FeedRefreshJob* Launcher::feedRefresh()
{
    if (m_feedRefresh)
        return m_feedRefresh;
    // Fetched through the download controller: its sheet on the window, its alerts for the
    // feeds that fail.
    const auto fetch = [this](const QUrl& feed, std::function<void(const QVariant&)> done) {
        m_downloadStatus->loadData(feed, m_window,
                                   [done](const QVariant& bytes, const QUrl&) { done(bytes); });
    };
    m_feedRefresh = new FeedRefreshJob(m_database, m_repositories,
                                       FeedRefreshJob::Parsing::ByStoredFormat, fetch, this);
    connect(m_feedRefresh, &Job::finished, this, [this](const Outcome& outcome) {
        if (outcome.succeeded())
            reloadLevelTable(m_levelTable);
    });
    return m_feedRefresh;
}

void Launcher::checkFeeds()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (qsizetype index = 0; index < m_repositories->count(); ++index) {
        const RepositoryEntry record = m_repositories->objectAtIndex(index);
        const QDateTime next = record.value(RepositoryKey::nextCheckDate).toDateTime();
        if (!next.isValid() || now >= next)
            feedRefresh()->queue(urlForKey(record, RepositoryKey::urlDownload));
    }
    updateNextFeed();
}

void Launcher::refreshAllFeeds()
{
    for (qsizetype index = 0; index < m_repositories->count(); ++index)
        feedRefresh()->queue(
            urlForKey(m_repositories->objectAtIndex(index), RepositoryKey::urlDownload));
    updateNextFeed();
}

void Launcher::updateNextFeed()
{
    feedRefresh()->start();
}
