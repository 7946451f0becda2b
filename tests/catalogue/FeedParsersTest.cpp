#include "catalogue/FeedParsers.h"

#include <QTest>

#include <sys/resource.h>

// Reads feeds as they come off the network: the three formats, their edge cases, and input
// written to hurt the launcher.
class FeedParsersTest : public QObject
{
    Q_OBJECT

    const QUrl kFeedUrl{QStringLiteral("http://feeds.example/levels?list=all")};
    const QDateTime kNow{QDate(2026, 12, 6), QTime(12, 0), Qt::UTC};
    static inline const QByteArray kLevel =
        "<enclosure url=\"http://h/castle.zip\" length=\"1234\" "
        "type=\"application/x-quillmor-level\"/>";

    static QByteArray rss(const QByteArray& items)
    {
        return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
               "xmlns:media=\"http://search.yahoo.com/mrss/\"><channel><title>Levels</title>"
               "<link>http://h/</link><description>All levels</description>" +
               items + "</channel></rss>\n";
    }
    static QByteArray item(const QByteArray& body) { return "<item>" + body + "</item>"; }
    static QByteArray dated(const QByteArray& date) { return "<pubDate>" + date + "</pubDate>"; }

private slots:
    // First, while the peak is still low: a feed read as it streams by holds the bytes and
    // one item, where a whole tree would take many times the file.
    void largeFeedInBoundedMemory()
    {
        const int count = 100'000;
        const QByteArray bytes =
            rss(item("<title>Castle</title><guid>g</guid>" + kLevel).repeated(count));
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        int levels = 0;
        QVERIFY(readRssFeed(
            bytes, kFeedUrl, kNow, [&](FeedItem&&) { ++levels; }, [] {}));
        getrusage(RUSAGE_SELF, &after);
        QCOMPARE(levels, count);
        QCOMPARE_LT(after.ru_maxrss - before.ru_maxrss, bytes.size() / 1024);
    }

    // expected: "key=value" pairs, for the first item's keys ("-": absent; data in hex) and
    // for "items" (how many, "none" when not a feed), "list" (each "name>url", joined by "|")
    // and "next" (seconds until the next look at the feed).
    void parse_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* format, const QByteArray& bytes,
                            const QString& expected) {
            QTest::newRow(name) << QString(format) << bytes << expected;
        };
        // One item of an RSS feed, holding kLevel unless it has an enclosure of its own.
        const auto one = [&](const char* name, const QByteArray& body, const QString& expected) {
            const QByteArray level = item(body.contains("<enclosure") ? body : body + kLevel);
            row(name, "rss", rss(level), expected);
        };
        const QString ab = "list=A>http://a|B>http://b";
        row("odd last line ignored", "txt", "A\nhttp://a\nB\nhttp://b\nC", ab + ";next=604800");
        row("CR LF, CR, VT and FF each end a line", "txt", "A\r\nhttp://a\rB\13http://b\14", ab);
        row("FF then LF is two ends", "txt", "A\nhttp://a\nB\14\nhttp://b", "list=A>http://a");
        row("code page 1252, untrimmed", "txt", "Caf\xe9 \x80 \nhttp://h/a ",
            u8"list=Café € >http://h/a ");
        row("bad links skipped", "txt", "X\n\nY\nb.zip\nZ\nnote: x\nA\nhttp://a",
            "list=A>http://a");
        row("20 MB of line ends", "txt", QByteArray(20 << 20, '\n'), "items=0");
        row("binary junk", "txt", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0", 20),
            "items=none");
        row("level list", "xml", "<QuillmorLevels><level/></QuillmorLevels>",
            "items=0;next=604800");
        const QByteArray two =
            item("<title>A</title>" + kLevel) + item("<title>B</title>" + kLevel);
        row("rss, no ttl: a week", "rss", rss(two),
            "list=A>http://h/castle.zip|B>http://h/castle.zip;next=604800");
        row("rss, 2880: two days", "rss", rss("<ttl> 2880 min</ttl>" + two), "next=172800");
        row("rss, negative: a day", "rss", rss("<ttl>-1</ttl>" + two), "next=86400");
        row("rss, huge: a year", "rss", rss("<ttl>71582789</ttl>" + two), "next=31536000");

        const QString at = "pubDateRemote=2026-12-06T16:23:01.000Z", undated = "pubDateRemote=-";
        const QByteArray hex = "00112233445566778899aabbccddeeff0a1b2c3d";
        const QByteArray hash = "<media:hash algo=\"sha-1\">" + hex.toUpper() + "</media:hash>";
        const QByteArray zip = "<enclosure url=\"http://h/a.zip\" type=\"application/zip\"/>";
        const QByteArray author = "<media:credit role=\"author\">Ann</media:credit>";
        one("full item",
            "<title> Castle </title><link>http://h/c</link><description>Stone</description>"
            "<guid>\n  g1 \n</guid>" +
                dated("Sun, 06 Dec 2026 16:23:01 +0000") + hash + author,
            "name= Castle ;author=Ann;guid=g1;urlWebsite=http://h/c;description=Stone;" + at +
                ";urlDownload=http://h/castle.zip;length=1234;sha1Remote=" + hex);
        one("only an enclosure", "",
            "name=;author=;sha1Remote=;guid=-;description=-;urlWebsite=-;urlThumbnail=-;" +
                undated);
        const auto media = [](const char* element, const char* url, const char* more = "") {
            return QByteArray("<media:") + element + " url=\"" + url + "\" " + more + "/>";
        };
        const QByteArray video = media("content", "http://h/v.mp4", "type=\"video/mp4\"");
        one("picture: thumbnail before image",
            media("content", "http://h/c.png", "type=\"image/png\"") +
                media("thumbnail", "http://h/t.jpg"),
            "urlThumbnail=http://h/t.jpg");
        one("picture: image type, past the rest",
            media("thumbnail", "file:///etc/passwd") + video +
                media("content", "https://h/s.jpg", "type=\"image/jpeg\""),
            "urlThumbnail=https://h/s.jpg");
        one("picture: image medium in a group, relative",
            "<media:group>" + video + media("content", "p.png", "medium=\"image\"") +
                "</media:group>",
            "urlThumbnail=http://feeds.example/p.png");
        one("picture: none fetchable", video + media("thumbnail", "javascript:x"),
            "urlThumbnail=-");
        one("first enclosure only", zip + kLevel, "items=0");
        one("no url skipped", "<enclosure type=\"application/x-quillmor-level\"/>", "items=0");
        one("no algo: md5", QByteArray(hash).replace(" algo=\"sha-1\"", ""), "sha1Remote=");
        one("relative links resolved",
            "<link>../about</link><enclosure url=\"r.zip\" type=\"application/x-quillmor-level\"/>",
            "urlDownload=http://feeds.example/r.zip;urlWebsite=http://feeds.example/about");
        one("non-hex pair", QByteArray(hash).replace(">00", ">zz"), "sha1Remote=");
        one("first credit only", QByteArray(author).replace("author", "editor") + author,
            "author=");
        one("CDATA and entities, in text and attributes",
            "<title><![CDATA[A & B]]> &amp; <b>C</b></title>" +
                QByteArray(kLevel).replace("castle.zip", "get?id=1&amp;f=&#38;&lt;"),
            "name=A & B & C;urlDownload=http://h/get?id=1&f=&<");
        one("full names, offset", dated("Sunday, 06 December 2026 17:53:01 +0130"), at);
        one("two-digit year", dated("Sun, 06 Dec 26 16:23:01 +0000"), at);
        one("19xx, no seconds, EST", dated("Mon, 6 December 99 11:23 EST"),
            "pubDateRemote=1999-12-06T16:23:00.000Z");
        one("no weekday, spaces", dated(" 06 Dec 2026 11:23:01 -0500  "), at);
        one("one-digit day, wrong weekday, UT", dated("Mon, 6 Dec 2026 16:23:01 UT"), at);
        one("five-digit year: undated", dated("Sun, 06 Dec 12026 16:23:01 +0000"), undated);
        one("past year 9999: undated", dated("Fri, 31 Dec 9999 23:59:59 -0100"), undated);
        one("before year 1: undated", dated("Mon, 01 Jan 0001 00:30:00 +0100"), undated);

        // Hostile documents: none may read a local file or cost memory, nor leave part of a
        // feed to pass for all.
        QByteArray bomb = "<!ENTITY a0 \"" + QByteArray(50000, 'x') + "\">";
        for (char i = '1'; i <= '9'; ++i) // each a tenfold of the one before
            bomb += QByteArray("<!ENTITY a") + i + " \"" +
                    (QByteArray("&a") + char(i - 1) + ";").repeated(10) + "\">";
        const QByteArray sloppy =
            rss(item("<description>one<br>two</description>" + kLevel) +
                item("<description><p>a</i></description>" + kLevel) + item(kLevel));
        const QByteArray deep = "<title>" + QByteArray("<b>").repeated(300) + "</title>";
        row("html page", "rss", "<html><p>502</p></html>", "items=none");
        row("cut off", "rss", rss(item(kLevel) + item(kLevel)).chopped(30), "items=none");
        row("inline tags left open", "rss", sloppy, "items=3");
        row("inline tags left open, cut off", "rss", sloppy.chopped(20), "items=none");
        row("tag left open after many levels", "rss",
            rss(item(kLevel).repeated(40) + item("<p>one<br>two</p>" + kLevel)), "items=41");
        row("attribute past the parser's limit", "rss",
            rss(item(kLevel) +
                item(QByteArray(kLevel).replace("1234", QByteArray(10'000'001, '1')))),
            "items=none");
        row("nested too deep", "rss", rss(item(deep + kLevel) + item(kLevel)), "items=none");
        row("entity bomb", "rss",
            "<!DOCTYPE rss [" + bomb + "]>" + rss(item("<title>&a9;</title>" + kLevel)).mid(22),
            "items=none");
        row("external entity", "rss",
            "<!DOCTYPE rss [<!ENTITY s SYSTEM \"file:///etc/passwd\">]>" +
                rss(item("<title>&s;</title>" + kLevel)).mid(22),
            "items=none");
    }

    void parse()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const auto feed = format == "txt"   ? parseTxtFeed(bytes, kFeedUrl, kNow)
                          : format == "xml" ? parseXmlFeed(bytes, kFeedUrl, kNow)
                                            : parseRssFeed(bytes, kFeedUrl, kNow);
        const QList<FeedItem> items = feed ? feed->items : QList<FeedItem>();
        QVariantMap got;
        if (!items.isEmpty()) {
            const FeedItem& first = items.first();
            got = {{"name", first.name}, {"urlDownload", first.urlDownload}};
            const auto put = [&got](const char* key, const auto& value) {
                if (value)
                    got.insert(key, *value);
            };
            put("author", first.author);
            put("description", first.description);
            put("guid", first.guid);
            put("length", first.length);
            put("pubDateRemote", first.pubDateRemote);
            put("sha1Remote", first.sha1Remote);
            put("urlThumbnail", first.urlThumbnail);
            put("urlWebsite", first.urlWebsite);
        }
        QStringList list;
        for (const FeedItem& level : items)
            list << level.name + ">" + level.urlDownload;
        got.insert(
            {{"items", feed ? QString::number(items.size()) : "none"}, {"list", list.join('|')}});
        if (feed)
            got["next"] = kNow.secsTo(feed->repository["nextCheckDate"].toDateTime());
        for (const QString& pair : expected.split(';')) {
            const QString key = pair.section('=', 0, 0);
            const QVariant value = got.value(key, "-");
            QCOMPARE(key + "=" +
                         (value.typeId() == QMetaType::QByteArray ? value.toByteArray().toHex()
                                                                  : value.toString()),
                     pair);
        }
        // The record the source list gets names this feed and its format; RSS gives its texts.
        RepositoryEntry record{{"urlDownload", kFeedUrl.toString()}, {"format", format}};
        if (format == "rss")
            record.insert(
                {{"name", "Levels"}, {"description", "All levels"}, {"urlWebsite", "http://h/"}});
        if (feed)
            record.insert("nextCheckDate", feed->repository["nextCheckDate"]);
        QVERIFY(!feed || (feed->repository == record && feed->hasItems == (format != "xml")));
        // A parse that expanded entities would show in the peak memory.
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        QVERIFY(QTest::currentDataTag() != QByteArray("entity bomb") ||
                usage.ru_maxrss < 700 * 1024);
    }
};

QTEST_GUILESS_MAIN(FeedParsersTest)
#include "FeedParsersTest.moc"
