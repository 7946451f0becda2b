#pragma once

// The feed refresh cycle: a queue of feed addresses, fetched one after another from its end,
// each answer parsed and merged into the catalogue and the source list, both saved once the
// queue is empty. The launcher's own refresh and the preferences sheet's run the same cycle
// and differ only in how an answer's parser is chosen. The job fetches through the function it
// is given, so a window can put its progress sheet and error alerts in between.
//
// The queue outlives a cycle that ends early: what was not fetched is fetched by the next
// start. Starting while a fetch is under way gives up waiting for that fetch and asks again.
//
// A source keeps what identified the last answer that was read (its "etag" and
// "lastModified"). The launcher's refresh sends them, and a feed the server says is unchanged
// is neither parsed nor merged: it is due again after the time its last answer gave. The
// preferences sheet's refresh, which the player asks for, always reads the feed whole.

#include "flows/Job.h"
#include "transfer/HttpValidators.h"

#include <QList>
#include <QUrl>
#include <QVariant>

#include <functional>

class Database;
class Repositories;

class FeedRefreshJob : public Job
{
    Q_OBJECT
public:
    enum class Parsing
    {
        ByStoredFormat, // the source's "format": a feed is what it was when it was added
        ByContent,      // what the answer holds: RSS, the levels list, else a text list
    };
    // What a fetch brought back.
    struct Answer
    {
        QVariant bytes;            // a QByteArray, or invalid when the fetch failed (and was told)
        bool unchanged = false;    // the server said the version `known` named is current
        HttpValidators validators; // what identified this answer
    };
    // Fetches the feed, asking only whether it changed when `known` names a version, and calls
    // done with the answer; a fetch called off may never call done.
    using Fetch = std::function<void(const QUrl& feed, const HttpValidators& known,
                                     std::function<void(const Answer& answer)> done)>;

    FeedRefreshJob(Database* database, Repositories* repositories, Parsing parsing, Fetch fetch,
                   QObject* parent = nullptr);

    // Queues a feed once, to be fetched before those queued earlier.
    void queue(const QUrl& feed);
    // Queues a feed that is no source yet: it becomes one when its answer is a feed.
    void queueNew(const QUrl& feed);
    // Forgets a feed: a removed feed's answer would bring its source and levels back.
    void remove(const QUrl& feed);
    QList<QUrl> pending() const { return m_queue; }
    // New feeds whose answer was no feed, since the last call.
    QList<QUrl> takeNotFeeds();

    void start() override;
    // Stops waiting for the fetch under way; the queue stays for the next start.
    void cancel() override;

signals:
    // One feed's answer was read (or its fetch failed).
    void feedDone(const QUrl& feed);

private:
    void fetchNext();
    void fetched(const QUrl& feed, const Answer& answer);
    bool parse(const QUrl& feed, const QByteArray& bytes);
    void keepValidators(const QUrl& feed, const HttpValidators& validators);
    void postponeUnchanged(const QUrl& feed);

    Database* m_database;
    Repositories* m_repositories;
    Parsing m_parsing;
    Fetch m_fetch;
    QList<QUrl> m_queue;
    QList<QUrl> m_new;
    QList<QUrl> m_notFeeds;
    // Tells the answer of the fetch under way from one given up on.
    quint64 m_fetchNumber = 0;
};
