#include "flows/FeedRefreshJob.h"

#include "catalogue/Database.h"
#include "catalogue/FeedParsers.h"
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
    HttpValidators known;
    if (const auto index = m_repositories->indexOfSource(feed);
        index && m_parsing == Parsing::ByStoredFormat) {
        const RepositoryEntry record = m_repositories->objectAtIndex(*index);
        known = {record.value(RepositoryKey::etag).toString(),
                 record.value(RepositoryKey::lastModified).toString()};
    }
    m_fetch(feed, known, [this, feed, number](const Answer& answer) {
        if (number == m_fetchNumber)
            fetched(feed, answer);
    });
}

void FeedRefreshJob::fetched(const QUrl& feed, const Answer& answer)
{
    const bool added = m_new.removeAll(feed) > 0;
    // A feed removed while it was fetched stays removed.
    if (answer.unchanged && m_repositories->indexOfSource(feed)) {
        postponeUnchanged(feed);
    } else if (answer.bytes.metaType().id() == QMetaType::QByteArray &&
               (added || m_repositories->indexOfSource(feed))) {
        if (parse(feed, answer.bytes.toByteArray()))
            keepValidators(feed, answer.validators);
        // The parsers leave the source list alone when the answer is no feed of theirs.
        if (added && !m_repositories->indexOfSource(feed))
            m_notFeeds.append(feed);
    }
    m_queue.removeAll(feed);
    emit feedDone(feed);
    fetchNext();
}

bool FeedRefreshJob::parse(const QUrl& feed, const QByteArray& bytes)
{
    if (m_parsing == Parsing::ByStoredFormat) {
        const auto index = m_repositories->indexOfSource(feed);
        const QString format =
            index ? m_repositories->objectAtIndex(*index).value(RepositoryKey::format).toString()
                  : QString();
        if (format == u"rss")
            return m_database->parseFileRss(bytes, feed);
        if (format == u"xml")
            return m_database->parseFileXml(bytes, feed);
        if (format == u"txt")
            return m_database->parseFileTxt(bytes, feed);
        return false;
    }
    // Code page 1252 decodes every ASCII byte to itself and no other byte to ASCII, so the
    // markers are found in the bytes exactly where the decoded text would show them.
    if (bytes.contains("<rss"))
        return m_database->parseFileRss(bytes, feed);
    if (bytes.contains("<QuillmorLevels"))
        return m_database->parseFileXml(bytes, feed);
    return m_database->parseFileTxt(bytes, feed);
}

void FeedRefreshJob::keepValidators(const QUrl& feed, const HttpValidators& validators)
{
    const auto index = m_repositories->indexOfSource(feed);
    if (!index)
        return;
    // The parser has just set when the feed is due; the same span applies after a 304.
    RepositoryEntry record = m_repositories->objectAtIndex(*index);
    const qint64 fresh =
        m_database->now().secsTo(record.value(RepositoryKey::nextCheckDate).toDateTime());
    const std::pair<QString, QString> kept[] = {
        {RepositoryKey::etag, validators.etag},
        {RepositoryKey::lastModified, validators.lastModified}};
    for (const auto& [key, value] : kept) {
        // An answer without a validator leaves nothing to ask with next time.
        if (value.isEmpty())
            record.remove(key);
        else
            record.insert(key, value);
    }
    if (validators.isEmpty() || fresh <= 0)
        record.remove(RepositoryKey::checkInterval);
    else
        record.insert(RepositoryKey::checkInterval, fresh);
    m_repositories->replaceObjectAtIndex(*index, record);
}

void FeedRefreshJob::postponeUnchanged(const QUrl& feed)
{
    const qsizetype index = *m_repositories->indexOfSource(feed);
    RepositoryEntry record = m_repositories->objectAtIndex(index);
    const qint64 stored = record.value(RepositoryKey::checkInterval).toLongLong();
    record.insert(RepositoryKey::nextCheckDate,
                  m_database->now().addSecs(stored > 0 ? stored : feedCheckInterval));
    m_repositories->replaceObjectAtIndex(index, record);
}
