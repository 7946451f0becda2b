#pragma once

// The readers of the three level-feed formats. Each turns the bytes fetched from a feed URL
// into the record that describes the feed to the source list and, for the RSS and text
// formats, the list of levels the feed offers. They keep no state between calls, and nothing
// they read from a feed reaches the network or the disk.

#include "catalogue/LevelEntry.h"
#include "sources/RepositoryEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringView>
#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

struct ParsedFeed
{
    RepositoryEntry repository; // always has urlDownload, nextCheckDate, format
    QList<FeedItem> items;      // in document order (empty for XML)
    bool hasItems = true;       // false for the XML format: no list goes to the merge
};

// none = not a feed: nothing is merged and the source's record stays as it was.
std::optional<ParsedFeed> parseRssFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now);

// Takes the levels of an RSS feed one at a time, as the reader comes to them.
using FeedItemSink = std::function<void(FeedItem&&)>;

// The RSS reader underneath parseRssFeed: it hands each level to `level` as soon as its item
// has been read, holding no more of the document than that item, and answers the feed's
// record at the end. The levels handed on count only when a record comes back: a document
// found cut off or beyond repair further on answers none. Sloppy markup is read again
// after repair, and `restart` first voids the levels handed on so far.
std::optional<RepositoryEntry> readRssFeed(const QByteArray& bytes, const QUrl& url,
                                           const QDateTime& now, const FeedItemSink& level,
                                           const std::function<void()>& restart);
std::optional<ParsedFeed> parseXmlFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now);
std::optional<ParsedFeed> parseTxtFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now);

// Feed formats as the source list stores them.
namespace FeedFormat {
inline const QString rss = QStringLiteral("rss");
inline const QString xml = QStringLiteral("xml");
inline const QString txt = QStringLiteral("txt");
} // namespace FeedFormat

// Feeds that give no time to live of their own are looked at again after a week.
inline constexpr quint32 feedCheckInterval = 604800;

// A whole number read the forgiving way feeds need: leading white space skipped, an optional
// sign, then digits up to the first other character; no digits read as 0, and a number too
// large for 64 bits stops at the nearest limit.
qint64 integerValue(QStringView text);

// The record every reader hands on: the feed's URL, when it is due again and its format.
RepositoryEntry feedRecord(const QUrl& url, const QDateTime& now, quint32 secondsToNextCheck,
                           const QString& format);
