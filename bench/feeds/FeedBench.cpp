// The feed reader at the size of a large level site. Usage:
//   bench_feeds write <file> <items>   writes an RSS feed of that many level items
//   bench_feeds parse <file> <items>   reads it as the launcher does, counting the levels;
//                                      fails unless every item came through
// Timing is left to the caller, so the reader is measured the same way as its peer.

#include "catalogue/FeedParsers.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

QByteArray feed(int items)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<rss version=\"2.0\" xmlns:media=\"http://search.yahoo.com/mrss/\">\n"
                     "<channel><title>Levels</title><link>http://levels.example/</link>"
                     "<description>Every level</description><ttl>1440</ttl>\n";
    const QByteArray hash = "00112233445566778899aabbccddeeff0a1b2c3d";
    for (int i = 0; i < items; ++i) {
        const QByteArray n = QByteArray::number(i);
        out += "<item><title>Level " + n + "</title><link>http://levels.example/" + n +
               "</link><description>Level number " + n + " &amp; its secrets</description>" +
               "<guid>level-" + n +
               "</guid><pubDate>Sun, 06 Dec 2026 10:" + QByteArray::number(10 + i % 50) +
               ":00 +0000</pubDate>" + "<enclosure url=\"http://levels.example/zip/level" + n +
               ".zip\" length=\"" + QByteArray::number(100000 + i) +
               "\" type=\"application/x-quillmor-level\"/>" + "<media:hash algo=\"sha-1\">" + hash +
               "</media:hash>" + "<media:credit role=\"author\">Author " +
               QByteArray::number(i % 97) + "</media:credit></item>\n";
    }
    return out + "</channel></rss>\n";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    QFile file(QString::fromLocal8Bit(argv[2]));
    const int items = atoi(argv[3]);
    if (mode == QStringLiteral("write"))
        return file.open(QIODevice::WriteOnly) && file.write(feed(items)) > 0 ? 0 : 1;
    if (mode != QStringLiteral("parse") || !file.open(QIODevice::ReadOnly))
        return 2;
    // The levels are counted as they come, so the peak memory is the reader's own.
    qint64 count = 0;
    const auto record = readRssFeed(
        file.readAll(), QUrl("http://levels.example/feed.rss"), QDateTime::currentDateTimeUtc(),
        [&](FeedItem&&) { ++count; }, [&] { count = 0; });
    if (!record || count != items) {
        std::fprintf(stderr, "read %lld of %d items\n", record ? count : -1LL, items);
        return 1;
    }
    return 0;
}
