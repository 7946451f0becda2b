#include "catalogue/FeedParsers.h"
#include "catalogue/FeedDate.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QUrl kFeedUrl(QStringLiteral("http://feeds.example/levels?list=all"));
const QDateTime kNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
const QByteArray kMedia = "xmlns:media=\"http://search.yahoo.com/mrss/\"";
const QByteArray kLevel = "<enclosure url=\"http://h/castle.zip\" length=\"1234\" "
                          "type=\"application/x-quillmor-level\"/>";
const QByteArray kHex = "00112233445566778899aabbccddeeff0a1b2c3d";

QByteArray rss(const QByteArray& channel, const QByteArray& rootAttributes = kMedia)
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" " + rootAttributes +
           "><channel><title>Levels</title><link>http://h/</link><description>All levels"
           "</description>" +
           channel + "</channel></rss>\n";
}

QByteArray item(const QByteArray& body)
{
    return "<item>" + body + "</item>";
}

RepositoryEntry record(const QString& format, qint64 seconds)
{
    return {{"urlDownload", kFeedUrl.toString()},
            {"nextCheckDate", kNow.addSecs(seconds)},
            {"format", format}};
}

// The process's peak resident memory, in MB: a parse that expanded entities would show here.
qint64 peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    return text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ').first().toLongLong() / 1024;
}

} // namespace

// Reads feeds as they come off the network: the three formats, their edge cases, and input
// written to hurt the launcher.
class FeedParsersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile secret(m_dir.filePath(QStringLiteral("secret.txt")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("SECRET-CONTENT");
        m_junk.resize(1 << 16);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(m_junk.data()), 1 << 14);
    }

    void textFeed_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("items"); // "name>url" joined by "|"; "none": not a feed
        auto row = [](const char* name, const QByteArray& bytes, const QString& items) {
            QTest::newRow(name) << bytes << items;
        };
        row("four lines", "A\nhttp://h/a\nB\nhttp://h/b\n", "A>http://h/a|B>http://h/b");
        row("odd last line ignored", "A\nhttp://h/a\nB", "A>http://h/a");
        row("CR LF ends one line", "A\r\nhttp://h/a\r\nB\r\nhttp://h/b\r\n",
            "A>http://h/a|B>http://h/b");
        row("CR, VT, FF each end a line",
            "A\rhttp://h/a\x0b"
            "B\x0chttp://h/b",
            "A>http://h/a|B>http://h/b");
        row("FF then LF is two ends", "A\nhttp://h/a\nB\x0c\nhttp://h/b", "A>http://h/a");
        row("lines not trimmed", "Castle \nhttp://h/a ", "Castle >http://h/a ");
        row("code page 1252", "Caf\xe9 \x80\nhttp://h/a", u8"Café €>http://h/a");
        row("bad links skipped", "X\n\nY\nb.zip\nZ\nnote: x\nA\nhttp://h/a", "A>http://h/a");
        row("empty file", "", "");
        row("only line ends", "\n\r\n", "");
        row("20 MB of line ends", QByteArray(20 << 20, '\n'), "");
        row("html page", "<html>\n<p>502</p>\n</html>", "none");
        row("binary junk", m_junk, "none");
    }

    void textFeed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, items);
        const std::optional<ParsedFeed> feed = parseTxtFeed(bytes, kFeedUrl, kNow);
        QStringList got;
        for (const QVariant& level : feed ? feed->items : QVariantList()) {
            QCOMPARE(level.toMap().size(), 2);
            got << level.toMap().value("name").toString() + ">" +
                       level.toMap().value("urlDownload").toString();
        }
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
        const QByteArray zip = "<enclosure url=\"http://h/x.zip\" type=\"application/zip\"/>";
        const auto feed =
            parseRssFeed(rss(ttl + item("<title>A</title>" + kLevel) +
                             item("<title>X</title>" + zip) + item("<title>B</title>" + kLevel)),
                         kFeedUrl, kNow);
        QVERIFY(feed && feed->hasItems);
        RepositoryEntry expected = record("rss", seconds);
        expected.insert(
            {{"name", "Levels"}, {"description", "All levels"}, {"urlWebsite", "http://h/"}});
        QCOMPARE(feed->repository, expected);
        QCOMPARE(feed->items.size(), 2);
        QCOMPARE(feed->items[1].toMap().value("name"), "B");
    }

    void rssItem_data()
    {
        QTest::addColumn<QByteArray>("root");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // "key=value;..." ("-": absent); "": skipped
        auto row = [](const char* name, const QByteArray& root, const QByteArray& body,
                      const QString& expected) {
            QTest::newRow(name) << root << body << expected;
        };
        const QByteArray m = kMedia, hash = "<media:hash algo=\"sha-1\">" + kHex + "</media:hash>";
        const QByteArray zip = "<enclosure url=\"http://h/a.zip\" type=\"application/zip\"/>";
        row("full item", m,
            "<title> Castle </title><link>http://h/c</link><description>Stone</description>"
            "<guid>\n  g1 \n</guid><pubDate>Sun, 06 Dec 2026 10:00:00 +0000</pubDate>" +
                kLevel + hash + "<media:credit role=\"author\">Ann</media:credit>",
            "name= Castle ;author=Ann;guid=g1;urlWebsite=http://h/c;description=Stone;"
            "pubDateRemote=2026-12-06T10:00:00Z;sha1Remote=" +
                kHex + ";urlDownload=http://h/castle.zip;length=1234");
        row("only an enclosure", m, kLevel,
            "name=;author=;sha1Remote=;length=1234;guid=-;description=-;urlWebsite=-;"
            "pubDateRemote=-");
        row("zip type skipped", m, zip, "");
        row("first enclosure only", m, zip + kLevel, "");
        row("no url skipped", m, "<enclosure type=\"application/x-quillmor-level\"/>", "");
        row("no enclosure skipped", m, "<title>A</title>", "");
        row("other prefix, upper case", "xmlns:m=\"http://search.yahoo.com/mrss/\"",
            kLevel + "<m:hash algo=\"sha-1\">" + kHex.toUpper() + "</m:hash>",
            "sha1Remote=" + kHex);
        row("namespace below root", "", kLevel + QByteArray(hash).insert(11, " " + m),
            "sha1Remote=");
        row("algo in capitals", m, kLevel + QByteArray(hash).replace("sha-1", "SHA-1"),
            "sha1Remote=");
        row("non-hex pair", m, kLevel + QByteArray(hash).replace(">00", ">zz"), "sha1Remote=");
        row("hash not trimmed", m, kLevel + QByteArray(hash).replace(">00", "> 0"), "sha1Remote=");
        row("odd digit dropped", m, kLevel + "<media:hash algo=\"sha-1\">abc</media:hash>",
            "sha1Remote=ab");
        row("first credit only", m,
            kLevel + "<media:credit role=\"editor\">Ed</media:credit>"
                     "<media:credit role=\"author\">Ann</media:credit>",
            "author=");
        row("CDATA and entities", m, kLevel + "<title><![CDATA[A & B]]> &amp; <b>C</b></title>",
            "name=A & B & C");
        row("undated, length 12kb", m,
            "<pubDate>yesterday</pubDate>" + QByteArray(kLevel).replace("1234", "12kb"),
            "pubDateRemote=-;length=12");
    }

    void rssItem()
    {
        QFETCH(QByteArray, root);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        const auto feed = parseRssFeed(rss(item(body), root), kFeedUrl, kNow);
        QVERIFY(feed);
        QCOMPARE(feed->items.size(), expected.isEmpty() ? 0 : 1);
        for (const QString& pair : expected.split(';', Qt::SkipEmptyParts)) {
            const QString key = pair.section('=', 0, 0);
            const QVariant value = feed->items.first().toMap().value(key, "-");
            QCOMPARE(key + "=" +
                         (value.typeId() == QMetaType::QByteArray ? value.toByteArray().toHex()
                          : value.typeId() == QMetaType::QDateTime
                              ? value.toDateTime().toString(Qt::ISODate)
                              : value.toString()),
                     pair);
        }
    }

    void rssDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parses"); // as 2026-12-06 16:23:01 UTC
        auto row = [](const char* text, bool parses) {
            QTest::newRow(text) << text << parses;
        };
        row("Sun, 06 Dec 2026 16:23:01 +0000", true);
        row("Sunday, 06 December 2026 17:23:01 +0100", true);
        row("Sun, 6 Dec 2026 16:23:01 GMT", true);
        row("Sun, 06 Dec 2026 16:23:01 UT", true);
        row("Sun, 06 Dec 2026 11:23:01 EST", true);
        row("Sun, 06 Dec 2026 09:23:01 PDT", true);
        row(" 06 Dec 2026 11:23:01 -0500  ", true);
        row("Sun, 06 Dec 2026 16:23:01 +0000 (UTC)", false);
        row("Sun, 06 Dec 12026 16:23:01 +0000", false);
        row("2026-12-06T16:23:01Z", false);
    }

    void rssDate()
    {
        QFETCH(QString, text);
        QFETCH(bool, parses);
        const QDateTime at(QDate(2026, 12, 6), QTime(16, 23, 1), Qt::UTC);
        QCOMPARE(FeedDate().parse(text).value_or(QDateTime()), parses ? at : QDateTime());
    }

    void hostileRss_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("items"); // -1: not a feed
        const QByteArray good = rss(item(kLevel) + item(kLevel));
        const QByteArray secret = QUrl::fromLocalFile(m_dir.filePath("secret.txt")).toEncoded();
        auto withDoctype = [](const QByteArray& doctype, const QByteArray& title) {
            return "<!DOCTYPE rss " + doctype + ">" + rss(item(title + kLevel)).mid(22);
        };
        QByteArray entities = "<!ENTITY a0 \"" + QByteArray(50000, 'x') + "\">";
        for (char i = '1'; i <= '9'; ++i)
            entities += QByteArray("<!ENTITY a") + i + " \"" +
                        (QByteArray("&a") + char(i - 1) + ";").repeated(10) + "\">";
        const QByteArray big = rss(item("<title>Castle</title><description>" +
                                        QByteArray(300, 'd') + "</description>" + kLevel)
                                       .repeated((20 << 20) / 400));
        QTest::newRow("well formed") << good << 2;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("binary junk") << m_junk << -1;
        QTest::newRow("html page") << QByteArray("<html><p>502</p></html>") << -1;
        QTest::newRow("cut off") << good.left(good.size() - 30) << -1;
        QTest::newRow("nested too deep")
            << rss(item("<title>" + QByteArray("<b>").repeated(300) + "</title>" + kLevel) +
                   item(kLevel))
            << -1;
        QTest::newRow("entity bomb")
            << withDoctype("[" + entities + "]", "<title>&a9;</title>") << -1;
        QTest::newRow("external entity")
            << withDoctype("[<!ENTITY s SYSTEM \"" + secret + "\">]", "<title>&s;</title>") << -1;
        QTest::newRow("external DTD not read")
            << withDoctype("SYSTEM \"" + secret + "\"", "<title>&s;</title>") << 1;
        QTest::newRow("20 MB") << big << int((20 << 20) / 400);
    }

    void hostileRss()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, items);
        const auto feed = parseRssFeed(bytes, kFeedUrl, kNow);
        QCOMPARE(feed ? int(feed->items.size()) : -1, items);
        for (const QVariant& level : feed ? feed->items : QVariantList())
            QVERIFY(!level.toMap().value("name").toString().contains("SECRET"));
        QVERIFY2(peakMemoryMb() < 700, qPrintable(QString::number(peakMemoryMb())));
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_junk;
};

QTEST_GUILESS_MAIN(FeedParsersTest)
#include "FeedParsersTest.moc"
