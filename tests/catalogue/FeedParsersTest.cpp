#include "catalogue/FeedParsers.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

// Reads feeds as they come off the network: the three formats, their edge cases, and input
// written to hurt the launcher.
class FeedParsersTest : public QObject
{
    Q_OBJECT

    const QUrl kFeedUrl{QStringLiteral("http://feeds.example/levels?list=all")};
    const QDateTime kNow{QDate(2026, 12, 6), QTime(12, 0), Qt::UTC};
    static inline const QByteArray kMedia = "xmlns:media=\"http://search.yahoo.com/mrss/\"";
    static inline const QByteArray kLevel =
        "<enclosure url=\"http://h/castle.zip\" "
        "length=\"1234\" type=\"application/x-quillmor-level\"/>";
    static inline const QByteArray kHex = "00112233445566778899aabbccddeeff0a1b2c3d";
    QTemporaryDir m_dir;

    static QByteArray item(const QByteArray& body) { return "<item>" + body + "</item>"; }
    static QByteArray rss(const QByteArray& channel, const QByteArray& root = kMedia)
    {
        return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" " + root +
               "><channel><title>Levels"
               "</title><link>http://h/</link><description>All levels</description>" +
               channel + "</channel></rss>\n";
    }
    RepositoryEntry record(const QString& format, qint64 seconds) const
    {
        return {{"urlDownload", kFeedUrl.toString()},
                {"nextCheckDate", kNow.addSecs(seconds)},
                {"format", format}};
    }
    static QByteArray junk()
    {
        QByteArray bytes(1 << 16, 0);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), 1 << 14);
        return bytes;
    }

private slots:
    void textFeed_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("items"); // "name>url" joined by "|"; "none": not a feed
        auto row = [](const char* name, const QByteArray& bytes, const QString& items) {
            QTest::newRow(name) << bytes << items;
        };
        const QString ab = "A>http://a|B>http://b";
        row("odd last line ignored", "A\nhttp://a\nB\nhttp://b\nC", ab);
        row("CR LF ends one line", "A\r\nhttp://a\r\nB\r\nhttp://b\r\n", ab);
        row("CR, VT, FF each end a line", "A\rhttp://a\13B\14http://b", ab);
        row("FF then LF is two ends", "A\nhttp://a\nB\14\nhttp://b", "A>http://a");
        row("code page 1252, untrimmed", "Caf\xe9 \x80 \nhttp://h/a ", u8"Café € >http://h/a ");
        row("bad links skipped", "X\n\nY\nb.zip\nZ\nnote: x\nA\nhttp://a", "A>http://a");
        row("20 MB of line ends", QByteArray(20 << 20, '\n'), "");
        row("binary junk", junk(), "none");
    }

    void textFeed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, items);
        const std::optional<ParsedFeed> feed = parseTxtFeed(bytes, kFeedUrl, kNow);
        QStringList got;
        for (const QVariant& level : feed ? feed->items : QVariantList())
            got << level.toMap()["name"].toString() + ">" + level.toMap()["urlDownload"].toString();
        QCOMPARE(feed ? got.join('|') : QStringLiteral("none"), items);
        if (feed)
            QCOMPARE(feed->repository, record("txt", 604800));
    }

    void xmlFeed()
    {
        const auto feed = parseXmlFeed("<QuillmorLevels><level/></QuillmorLevels>", kFeedUrl, kNow);
        QVERIFY(feed && !feed->hasItems && feed->items.isEmpty());
        QCOMPARE(feed->repository, record("xml", 604800));
    }

    void rssChannel_data()
    {
        QTest::addColumn<QByteArray>("ttl");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("no ttl: a week") << QByteArray() << qint64(604800);
        QTest::newRow("60 minutes: a day") << QByteArray("<ttl>60</ttl>") << qint64(86400);
        QTest::newRow("2880: two days") << QByteArray("<ttl> 2880 min</ttl>") << qint64(172800);
        QTest::newRow("no number: a day") << QByteArray("<ttl>soon</ttl>") << qint64(86400);
        QTest::newRow("negative: a day") << QByteArray("<ttl>-1</ttl>") << qint64(86400);
        QTest::newRow("huge: a year") << QByteArray("<ttl>71582789</ttl>") << qint64(31536000);
    }

    void rssChannel()
    {
        QFETCH(QByteArray, ttl);
        QFETCH(qint64, seconds);
        const auto feed = parseRssFeed(
            rss(ttl + item("<title>A</title>" + kLevel) + item("<title>B</title>" + kLevel)),
            kFeedUrl, kNow);
        RepositoryEntry expected = record("rss", seconds);
        expected.insert(
            {{"name", "Levels"}, {"description", "All levels"}, {"urlWebsite", "http://h/"}});
        QCOMPARE(feed.value().repository, expected);
        QCOMPARE(feed->items.last().toMap().value("name"), "B"); // in document order
    }

    void rssItem_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // "key=value;..." ("-": absent); "": skipped
        QTest::addColumn<QByteArray>("root");
        auto row = [](const char* name, const QByteArray& body, const QString& expected,
                      const QByteArray& root = kMedia) {
            QTest::newRow(name) << body << expected << root;
        };
        auto dated = [](const char* date) {
            return "<pubDate>" + QByteArray(date) + "</pubDate>" + kLevel;
        };
        const QString at = "pubDateRemote=2026-12-06T16:23:01.000Z", undated = "pubDateRemote=-";
        const QByteArray hash = "<media:hash algo=\"sha-1\">" + kHex + "</media:hash>";
        const QByteArray zip = "<enclosure url=\"http://h/a.zip\" type=\"application/zip\"/>";
        const QByteArray author = "<media:credit role=\"author\">Ann</media:credit>";
        row("full item",
            "<title> Castle </title><link>http://h/c</link><description>Stone</description>"
            "<guid>\n  g1 \n</guid><pubDate>Sun, 06 Dec 2026 16:23:01 +0000</pubDate>" +
                kLevel + hash + author,
            "name= Castle ;author=Ann;guid=g1;urlWebsite=http://h/c;description=Stone;" + at +
                ";urlDownload=http://h/castle.zip;length=1234;sha1Remote=" + kHex);
        row("only an enclosure", kLevel,
            "name=;author=;sha1Remote=;guid=-;description=-;urlWebsite=-;" + undated);
        row("zip type skipped", zip, "");
        row("first enclosure only", zip + kLevel, "");
        row("no url skipped", "<enclosure type=\"application/x-quillmor-level\"/>", "");
        row("other prefix, upper case",
            kLevel + "<m:hash algo=\"sha-1\">" + kHex.toUpper() + "</m:hash>", "sha1Remote=" + kHex,
            "xmlns:m=\"http://search.yahoo.com/mrss/\"");
        row("namespace below root", kLevel + QByteArray(hash).insert(11, " " + kMedia),
            "sha1Remote=", "");
        row("md5 hash ignored", kLevel + QByteArray(hash).replace("sha-1", "md5"), "sha1Remote=");
        row("relative links resolved",
            "<link>../about</link><enclosure url=\"r.zip\" type=\"application/x-quillmor-level\"/>",
            "urlDownload=http://feeds.example/r.zip;urlWebsite=http://feeds.example/about");
        row("non-hex pair", kLevel + QByteArray(hash).replace(">00", ">zz"), "sha1Remote=");
        row("odd digit dropped", kLevel + QByteArray(hash).replace(kHex, "abc"), "sha1Remote=ab");
        row("first credit only", kLevel + QByteArray(author).replace("author", "editor") + author,
            "author=");
        row("CDATA and entities", kLevel + "<title><![CDATA[A & B]]> &amp; <b>C</b></title>",
            "name=A & B & C");
        row("length 12kb", QByteArray(kLevel).replace("1234", "12kb"), "length=12");
        row("full names, offset", dated("Sunday, 06 December 2026 17:23:01 +0100"), at);
        row("one-digit day, GMT", dated("Sun, 6 Dec 2026 16:23:01 GMT"), at);
        row("two-digit year", dated("Sun, 06 Dec 26 16:23:01 +0000"), at);
        row("no seconds", dated("Sun, 06 Dec 2026 16:23 +0000"),
            "pubDateRemote=2026-12-06T16:23:00.000Z");
        row("two-digit year, no seconds, EST", dated("6 December 99 11:23 EST"),
            "pubDateRemote=1999-12-06T16:23:00.000Z");
        row("EST", dated("Sun, 06 Dec 2026 11:23:01 EST"), at);
        row("no weekday, spaces", dated(" 06 Dec 2026 11:23:01 -0500  "), at);
        row("negative offset", dated("Sun, 06 Dec 2026 11:53:01 -0430"), at);
        row("wrong weekday ignored", dated("Mon, 06 Dec 2026 16:23:01 +0000"), at);
        row("31 November: rolls over", dated("Tue, 31 Nov 2026 16:23:01 +0000"),
            "pubDateRemote=2026-12-01T16:23:01.000Z");
        row("zone comment: undated", dated("Sun, 06 Dec 2026 16:23:01 +0000 (UTC)"), undated);
        row("five-digit year: undated", dated("Sun, 06 Dec 12026 16:23:01 +0000"), undated);
        row("past year 9999: undated", dated("Fri, 31 Dec 9999 23:59:59 -0100"), undated);
        row("ISO 8601: undated", dated("2026-12-06T16:23:01Z"), undated);
        row("words: undated", dated("yesterday"), undated);
    }

    void rssItem()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        QFETCH(QByteArray, root);
        const QVariantList items = parseRssFeed(rss(item(body), root), kFeedUrl, kNow)->items;
        QCOMPARE(items.size(), expected.isEmpty() ? 0 : 1);
        for (const QString& pair : expected.split(';', Qt::SkipEmptyParts)) {
            const QString key = pair.section('=', 0, 0);
            const QVariant value = items.first().toMap().value(key, "-");
            QCOMPARE(key + "=" +
                         (value.typeId() == QMetaType::QByteArray ? value.toByteArray().toHex()
                                                                  : value.toString()),
                     pair);
        }
    }

    void hostileRss_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("items"); // -1: not a feed
        QFile secret(m_dir.filePath("secret.txt"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("SECRET-CONTENT") > 0);
        const QByteArray path = QUrl::fromLocalFile(secret.fileName()).toEncoded();
        auto withDoctype = [](const QByteArray& doctype, const QByteArray& title) {
            return "<!DOCTYPE rss " + doctype + ">" + rss(item(title + kLevel)).mid(22);
        };
        QByteArray bomb = "<!ENTITY a0 \"" + QByteArray(50000, 'x') + "\">";
        for (char i = '1'; i <= '9'; ++i) // each a tenfold of the one before
            bomb += QByteArray("<!ENTITY a") + i + " \"" +
                    (QByteArray("&a") + char(i - 1) + ";").repeated(10) + "\">";
        const QByteArray good = rss(item(kLevel) + item(kLevel));
        const QByteArray deep = "<title>" + QByteArray("<b>").repeated(300) + "</title>";
        const QByteArray big = "<description>" + QByteArray(300, 'd') + "</description>";
        QTest::newRow("well formed") << good << 2;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("binary junk") << junk() << -1;
        QTest::newRow("html page") << QByteArray("<html><p>502</p></html>") << -1;
        QTest::newRow("cut off") << good.left(good.size() - 30) << -1;
        const QByteArray sloppy =
            rss(item("<description>one<br>two</description>" + kLevel) +
                item("<description><p>a</i></description>" + kLevel) + item(kLevel));
        QTest::newRow("inline tags left open") << sloppy << 3;
        QTest::newRow("inline tags left open, cut off") << sloppy.left(sloppy.size() - 20) << -1;
        QTest::newRow("attribute past the parser's limit")
            << rss(item(kLevel) +
                   item(QByteArray(kLevel).replace("1234", QByteArray(10'000'001, '1'))))
            << -1;
        QTest::newRow("nested too deep") << rss(item(deep + kLevel) + item(kLevel)) << -1;
        QTest::newRow("entity bomb") << withDoctype("[" + bomb + "]", "<title>&a9;</title>") << -1;
        QTest::newRow("external entity")
            << withDoctype("[<!ENTITY s SYSTEM \"" + path + "\">]", "<title>&s;</title>") << -1;
        QTest::newRow("external DTD not read")
            << withDoctype("SYSTEM \"" + path + "\"", "<title>&s;</title>") << 1;
        QTest::newRow("20 MB") << rss(item(big + kLevel).repeated(50000)) << 50000;
    }

    void hostileRss()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, items);
        const auto feed = parseRssFeed(bytes, kFeedUrl, kNow);
        QCOMPARE(feed ? int(feed->items.size()) : -1, items);
        for (const QVariant& level : feed ? feed->items : QVariantList())
            QVERIFY(!level.toMap().value("name").toString().contains("SECRET"));
        if (QTest::currentDataTag() == QByteArray("entity bomb")) {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage); // a parse that expanded entities would show here
            QVERIFY2(usage.ru_maxrss < 700 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
        }
    }
};

QTEST_GUILESS_MAIN(FeedParsersTest)
#include "FeedParsersTest.moc"
