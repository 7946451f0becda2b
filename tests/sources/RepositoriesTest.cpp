// The source list against real user-defaults files in a temporary home.

#include "sources/Repositories.h"
#include "platform/UserDefaults.h"
#include "tests/support/TestHome.h"

#include <QTest>

#include <memory>

namespace {

const QString kAlpha = "http://alpha.example/feed.rss";
const QString kBeta = "http://beta.example/l.txt";

// A source record. A name brings a description and website of its own, or, written "+name",
// those of a source added from a feed that gave no texts.
RepositoryEntry record(const QString& url, const QString& format, const QString& name = {})
{
    RepositoryEntry r{{"urlDownload", url}, {"format", format}};
    if (name.startsWith('+'))
        r.insert({{"name", name.mid(1)}, {"description", "Level Database"}, {"urlWebsite", ""}});
    else if (!name.isEmpty())
        r.insert({{"name", name}, {"description", name + " levels"}, {"urlWebsite", "http://w/"}});
    return r;
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
        UserDefaults::standard().setObject(
            QVariantList{record(kAlpha, "rss", "Alpha"), record(kBeta, "txt", "Beta")}, "source");
    }
    void cleanup() { m_home.reset(); }

    // A parsed feed's record updates the source its URL names, however spelled; a new source
    // without texts of its own is named after its host, or its URL when it has none.
    void mergesParsedRecords()
    {
        const QString gamma = "http://gamma.example:8080/l.txt", file = "file:///srv/l.txt";
        Repositories list;
        list.firstLoad();
        list.updateEntry(record("HTTP://alpha.example/feed.rss", "txt"));
        list.updateEntry(record(kBeta, "rss", "Beta Prime"));
        list.updateEntry(record("", "txt")); // names no feed: ignored
        list.updateEntry(record(gamma, "txt"));
        list.updateEntry(record(file, "txt"));
        list.save();
        const QVariantList merged{record(kAlpha, "txt", "Alpha"), record(kBeta, "rss", "Beta Prime"),
                                  record(gamma, "txt", "+gamma.example"),
                                  record(file, "txt", "+" + file)};
        QCOMPARE(UserDefaults::standard().objectForKey("source").toList(), merged);
    }

    // Names are looked up by URL; the preferences sheet's Cancel reloads the saved list.
    void loadBringsBackSavedList()
    {
        Repositories list;
        list.firstLoad();
        QCOMPARE(list.getNameForURL("HTTP://Beta.Example/l.txt"), QString("Beta"));
        list.removeObjectAtIndex(0);
        list.updateEntry(record(kBeta, "rss", "Beta Prime"));
        list.firstLoad(); // keeps what is in memory
        QCOMPARE(list.getNameForURL(kAlpha), kAlpha);
        list.load();
        QCOMPARE(list.getNameForURL(kAlpha), QString("Alpha"));
        QCOMPARE(list.getNameForURL(kBeta), QString("Beta"));
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
        QCOMPARE(own.count(), 2);
        QCOMPARE(own.getNameForURL("http://own.example/o.txt"), QString("own.example"));
    }
};

QTEST_GUILESS_MAIN(RepositoriesTest)
#include "RepositoriesTest.moc"
