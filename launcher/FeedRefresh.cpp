#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "install/Locations.h"
#include "sources/Repositories.h"

#include <QDateTime>

void Launcher::checkFeeds()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (qsizetype index = 0; index < m_repositories->count(); ++index) {
        const RepositoryEntry record = m_repositories->objectAtIndex(index);
        const QDateTime next = record.value(RepositoryKey::nextCheckDate).toDateTime();
        if (!next.isValid() || now >= next)
            m_feedRefresh->queue(urlForKey(record, RepositoryKey::urlDownload));
    }
    updateNextFeed();
}

void Launcher::refreshAllFeeds()
{
    for (qsizetype index = 0; index < m_repositories->count(); ++index)
        m_feedRefresh->queue(
            urlForKey(m_repositories->objectAtIndex(index), RepositoryKey::urlDownload));
    updateNextFeed();
}

void Launcher::updateNextFeed()
{
    m_feedRefresh->start();
}
