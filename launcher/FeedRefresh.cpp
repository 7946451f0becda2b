#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "sources/Repositories.h"
#include "transfer/DownloadStatus.h"

#include <QDateTime>
#include <QMainWindow>

namespace {

QUrl feedUrl(const RepositoryEntry& record)
{
    return urlForKey(record, RepositoryKey::urlDownload);
}

} // namespace

void Launcher::checkFeeds()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (qsizetype index = 0; index < m_repositories->count(); ++index) {
        const RepositoryEntry record = m_repositories->objectAtIndex(index);
        const QDateTime next = record.value(RepositoryKey::nextCheckDate).toDateTime();
        if (!next.isValid() || now >= next)
            queueFeed(record);
    }
    updateNextFeed();
}

void Launcher::refreshAllFeeds()
{
    for (qsizetype index = 0; index < m_repositories->count(); ++index)
        queueFeed(m_repositories->objectAtIndex(index));
    updateNextFeed();
}

void Launcher::queueFeed(const RepositoryEntry& record)
{
    // A cancelled cycle leaves its queue for the next one, which must not fetch a feed twice.
    const QUrl url = feedUrl(record);
    for (const RepositoryEntry& queued : std::as_const(m_checkFeedList)) {
        if (feedUrl(queued) == url)
            return;
    }
    m_checkFeedList.append(record);
}

void Launcher::updateNextFeed()
{
    // A feed removed from the list since it was queued is not fetched: its answer would bring
    // the source and its levels back.
    while (!m_checkFeedList.isEmpty() &&
           !m_repositories->indexOfSource(feedUrl(m_checkFeedList.last())))
        m_checkFeedList.removeLast();
    if (m_checkFeedList.isEmpty()) {
        m_database->save();
        m_repositories->save();
        reloadLevelTable(m_levelTable);
        return;
    }
    const QUrl url = urlForKey(m_checkFeedList.last(), RepositoryKey::urlDownload);
    m_downloadStatus->loadData(url, m_window, [this](const QVariant& bytes, const QUrl& asked) {
        downloadFeedComplete(bytes, asked);
    });
}

void Launcher::downloadFeedComplete(const QVariant& bytes, const QUrl& url)
{
    if (m_checkFeedList.isEmpty())
        return;
    if (bytes.isValid() && m_repositories->indexOfSource(feedUrl(m_checkFeedList.last()))) {
        const RepositoryEntry record = m_checkFeedList.last();
        const QString format = record.value(RepositoryKey::format).toString();
        const QUrl feed = feedUrl(record);
        const QByteArray data = bytes.toByteArray();
        if (format == u"rss")
            m_database->parseFileRss(data, feed);
        else if (format == u"xml")
            m_database->parseFileXml(data, feed);
        else if (format == u"txt")
            m_database->parseFileTxt(data, feed);
    }
    Q_UNUSED(url);
    m_checkFeedList.removeLast();
    updateNextFeed();
}
