// The source list against real user-defaults files in a temporary home.

#include "sources/Repositories.h"
#include "platform/UserDefaults.h"
#include "tests/support/TestHome.h"

#include <QTest>

#include <memory>

namespace {

const QDateTime kLater(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
const QString kAlpha = "http://alpha.example/feed.rss";
const QString kBeta = "http://beta.example/l.txt";

// A source record. A name brings a description and website of its own, or, written "+name",
// those of a source added from a feed that gave no texts.
RepositoryEntry record(const QString& url, const QString& format, const QString& name = {},
                       const QDateTime& due = kLater)
{
    RepositoryEntry r{{"urlDownload", url}, {"nextCheckDate", due}, {"format", format}};
    if (name.startsWith('+'))
        r.insert({{"name", name.mid(1)}, {"description", "Level Database"}, {"urlWebsite", ""}});
    else if (!name.isEmpty())
        r.insert({{"name", name}, {"description", name + " levels"}, {"urlWebsite", "http://w/"}});
    return r;
}

// The names column as the preferences sheet shows it.
QStringList names(const Repositories& list)
{
    QStringList values;
    for (int row = 0; row < list.numberOfRowsInTableView(); ++row)
        values << list.objectValueForTableColumn("name", row).toString();
    return values;
}

} // namespace

class RepositoriesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        // Registrations outlive a case in the process-wide defaults; start each without one.
        UserDefaults::standard().registerDefaults({{"source", QVariant()}});
        const QDateTime due(QDate(2025, 1, 1), QTime(), Qt::UTC);
        UserDefaults::standard().setObject(
            QVariantList{record(kAlpha, "rss", "Alpha", due), record(kBeta, "txt", "Beta", due)},
            "source");
    }
    void cleanup() { m_home.reset(); }

    void mergesParsedRecord_data()
    {
        QTest::addColumn<RepositoryEntry>("incoming");
        QTest::addColumn<RepositoryEntry>("expected"); // Alpha updated, or a third source
        const QString gamma = "http://gamma.example:8080/l.txt", file = "file:///srv/l.txt";
        QTest::newRow("known, rss") << record(kAlpha, "rss", "Two") << record(kAlpha, "rss", "Two");
        QTest::newRow("known, txt") << record(kAlpha, "txt") << record(kAlpha, "txt", "Alpha");
        QTest::newRow("known by URL, not spelling")
            << record("HTTP://alpha.example/feed.rss", "txt") << record(kAlpha, "txt", "Alpha");
        QTest::newRow("new, txt") << record(gamma, "txt") << record(gamma, "txt", "+gamma.example");
        QTest::newRow("new, rss") << record(gamma, "rss", "G") << record(gamma, "rss", "G");
        QTest::newRow("new, no host") << record(file, "txt") << record(file, "txt", "+" + file);
    }

    void mergesParsedRecord()
    {
        QFETCH(RepositoryEntry, incoming);
        QFETCH(RepositoryEntry, expected);
        Repositories list;
        list.firstLoad();
        list.updateEntry(incoming);
        QCOMPARE(list.objectAtIndex(expected["urlDownload"] == kAlpha ? 0 : 2), expected);
        QCOMPARE(list.count(), expected["urlDownload"] == kAlpha ? 2 : 3);
    }

    void editsKeepNameLookupAndOrder()
    {
        const QString aardvark = "http://aardvark.example/a.txt";
        Repositories list;
        list.firstLoad();
        QCOMPARE(list.getNameForURL("HTTP://Beta.Example/l.txt"), QString("Beta")); // by URL
        QCOMPARE(list.getNameForURL(aardvark), aardvark);
        list.updateEntry(record("", "txt")); // names no feed: ignored
        list.updateEntry(record(kBeta, "rss", "Beta Prime"));
        list.updateEntry(record(aardvark, "txt"));
        list.firstLoad(); // keeps what is in memory
        QCOMPARE(list.getNameForURL(kBeta), QString("Beta Prime"));
        QCOMPARE(list.getNameForURL(aardvark), QString("aardvark.example"));
        list.sortUsingDescriptors({{"name", false}}); // by code point: lower case after upper
        const QStringList sorted{"aardvark.example", "Beta Prime", "Alpha"};
        QCOMPARE(names(list), sorted);
        list.save();
        list.removeObjectAtIndex(2);
        QCOMPARE(list.getNameForURL(kAlpha), kAlpha);
        list.load(); // the sheet's Cancel
        QCOMPARE(names(list), sorted);
        QCOMPARE(list.getNameForURL(kAlpha), QString("Alpha"));
    }

    // Until the player's own list is saved, the shipped one serves, records only.
    void registeredDefaultServesUntilUserValue()
    {
        UserDefaults::standard().removeObject("source");
        UserDefaults::standard().registerDefaults(
            {{"source", QVariantList{record("http://ship.example/f.rss", "rss", "Shipped"), "x"}}});
        Repositories shipped, own;
        shipped.firstLoad();
        shipped.updateEntry(record("http://own.example/o.txt", "txt"));
        shipped.save();
        own.firstLoad();
        QCOMPARE(names(own), QStringList({"Shipped", "own.example"}));
    }
};

QTEST_GUILESS_MAIN(RepositoriesTest)
#include "RepositoriesTest.moc"
