#include "flows/FeedRefreshJob.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "sources/Repositories.h"

FeedRefreshJob::FeedRefreshJob(Database* database, Repositories* repositories, Parsing parsing,
                               Fetch fetch, QObject* parent)
    : Job(parent), m_database(database), m_repositories(repositories), m_parsing(parsing),
      m_fetch(std::move(fetch))
{
}

void FeedRefreshJob::queue(const QUrl& feed)
{
    if (feed.isValid() && !m_queue.contains(feed))
        m_queue.append(feed);
}

void FeedRefreshJob::queueNew(const QUrl& feed)
{
    if (!m_repositories->indexOfSource(feed) && !m_new.contains(feed))
        m_new.append(feed);
    queue(feed);
}

void FeedRefreshJob::remove(const QUrl& feed)
{
    m_queue.removeAll(feed);
    m_new.removeAll(feed);
}

QList<QUrl> FeedRefreshJob::takeNotFeeds()
{
    return std::exchange(m_notFeeds, {});
}

void FeedRefreshJob::start()
{
    setRunning();
    fetchNext();
}

void FeedRefreshJob::cancel()
{
    if (!isRunning())
        return;
    ++m_fetchNumber;
    finish(Outcome::cancelled());
}

void FeedRefreshJob::fetchNext()
{
    // Only a source of the list, or a feed being added, is fetched.
    while (!m_queue.isEmpty() && !m_new.contains(m_queue.last()) &&
           !m_repositories->indexOfSource(m_queue.last()))
        m_queue.removeLast();
    if (m_queue.isEmpty()) {
        m_repositories->save();
        m_database->save();
        finish(Outcome::success());
        return;
    }
    const QUrl feed = m_queue.last();
    const quint64 number = ++m_fetchNumber;
    m_fetch(feed, [this, feed, number](const QVariant& bytes) {
        if (number == m_fetchNumber)
            fetched(feed, bytes);
    });
}

void FeedRefreshJob::fetched(const QUrl& feed, const QVariant& bytes)
{
    const bool added = m_new.removeAll(feed) > 0;
    // A feed removed while it was fetched stays removed.
    if (bytes.metaType().id() == QMetaType::QByteArray &&
        (added || m_repositories->indexOfSource(feed))) {
        parse(feed, bytes.toByteArray());
        // The parsers leave the source list alone when the answer is no feed of theirs.
        if (added && !m_repositories->indexOfSource(feed))
            m_notFeeds.append(feed);
    }
    m_queue.removeAll(feed);
    emit feedDone(feed);
    fetchNext();
}

void FeedRefreshJob::parse(const QUrl& feed, const QByteArray& bytes)
{
    if (m_parsing == Parsing::ByStoredFormat) {
        const auto index = m_repositories->indexOfSource(feed);
        const QString format =
            index ? m_repositories->objectAtIndex(*index).value(RepositoryKey::format).toString()
                  : QString();
        if (format == u"rss")
            m_database->parseFileRss(bytes, feed);
        else if (format == u"xml")
            m_database->parseFileXml(bytes, feed);
        else if (format == u"txt")
            m_database->parseFileTxt(bytes, feed);
        return;
    }
    // Code page 1252 decodes every ASCII byte to itself and no other byte to ASCII, so the
    // markers are found in the bytes exactly where the decoded text would show them.
    if (bytes.contains("<rss"))
        m_database->parseFileRss(bytes, feed);
    else if (bytes.contains("<QuillmorLevels"))
        m_database->parseFileXml(bytes, feed);
    else
        m_database->parseFileTxt(bytes, feed);
}
