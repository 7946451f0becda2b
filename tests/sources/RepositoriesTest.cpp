// The source list against real user-defaults files in a temporary home.

#include "sources/Repositories.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "tests/support/TestHome.h"

#include <QTest>

#include <memory>

namespace {

const QDateTime kLater(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

RepositoryEntry record(const QString& url, const QString& format, const QString& name = {})
{
    RepositoryEntry r{{"urlDownload", url}, {"nextCheckDate", kLater}, {"format", format}};
    if (!name.isEmpty())
        r.insert({{"name", name}, {"description", name + " levels"}, {"urlWebsite", "http://w/"}});
    return r;
}

QStringList names(const Repositories& list)
{
    QStringList result;
    for (qsizetype i = 0; i < list.count(); ++i)
        result << list.objectAtIndex(i).value("name").toString();
    return result;
}

} // namespace

class RepositoriesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        // Registrations outlive a case in the process-wide defaults; start each without one.
        UserDefaults::standard().registerDefaults({{"source", QVariant()}});
        RepositoryEntry alpha = record("http://alpha.example/feed.rss", "rss", "Alpha");
        alpha.insert("nextCheckDate", QDateTime(QDate(2025, 1, 1), QTime(), Qt::UTC));
        UserDefaults::standard().setObject(
            QVariantList{alpha, record("http://beta.example/l.txt", "txt", "Beta")}, "source");
    }
    void cleanup() { m_home.reset(); }

    void mergesParsedRecord_data()
    {
        QTest::addColumn<RepositoryEntry>("incoming");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("texts"); // name, description, website

        const QString alpha = "http://alpha.example/feed.rss";
        const QString gamma = "http://gamma.example:8080/l.txt";
        const QStringList kept{"Alpha", "Alpha levels", "http://w/"};
        QTest::newRow("known, rss")
            << record(alpha, "rss", "Two") << 0 << QStringList{"Two", "Two levels", "http://w/"};
        QTest::newRow("known, txt keeps texts") << record(alpha, "txt") << 0 << kept;
        QTest::newRow("known, xml keeps texts") << record(alpha, "xml") << 0 << kept;
        QTest::newRow("known by URL, not spelling")
            << record("HTTP://alpha.example/feed.rss", "txt") << 0 << kept;
        const QStringList byHost{"gamma.example", "Level Database", ""};
        QTest::newRow("new, txt") << record(gamma, "txt") << 2 << byHost;
        QTest::newRow("new, xml") << record(gamma, "xml") << 2 << byHost;
        QTest::newRow("new, rss") << record(gamma, "rss", "G") << 2
                                  << QStringList{"G", "G levels", "http://w/"};
        QTest::newRow("new, no host") << record("file:///srv/l.txt", "txt") << 2
                                      << QStringList{"file:///srv/l.txt", "Level Database", ""};
    }

    void mergesParsedRecord()
    {
        QFETCH(RepositoryEntry, incoming);
        QFETCH(int, index);
        QFETCH(QStringList, texts);

        Repositories list;
        list.firstLoad();
        list.updateEntry(incoming);
        QCOMPARE(list.count(), qMax(2, index + 1));
        const RepositoryEntry merged = list.objectAtIndex(index);
        QCOMPARE(merged.value("nextCheckDate"), QVariant(kLater));
        QCOMPARE(merged.value("format"), incoming.value("format"));
        QCOMPARE(
            QStringList({merged.value("name").toString(), merged.value("description").toString(),
                         merged.value("urlWebsite").toString()}),
            texts);
        // The stored URL string is the identity and never changes.
        if (index == 0)
            QCOMPARE(merged.value("urlDownload"), QVariant("http://alpha.example/feed.rss"));
    }

    void nameLookupFollowsChanges()
    {
        Repositories list;
        list.firstLoad();
        list.updateEntry(record("", "txt")); // names no feed: ignored
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.getNameForURL(""), QString(""));
        QCOMPARE(list.getNameForURL("http://nowhere/x"), QString("http://nowhere/x"));
        QCOMPARE(list.getNameForURL("http://beta.example/l.txt"), QString("Beta"));

        list.updateEntry(record("http://beta.example/l.txt", "rss", "Beta Prime"));
        list.updateEntry(record("http://delta.example/d.txt", "txt"));
        QCOMPARE(list.getNameForURL("http://beta.example/l.txt"), QString("Beta Prime"));
        QCOMPARE(list.getNameForURL("http://delta.example/d.txt"), QString("delta.example"));

        list.sortUsingDescriptors({{"name", false}});
        QCOMPARE(names(list), QStringList({"delta.example", "Beta Prime", "Alpha"}));
        QCOMPARE(list.getNameForURL("http://alpha.example/feed.rss"), QString("Alpha"));
        QCOMPARE(list.objectValueForTableColumn("description", 1), QVariant("Beta Prime levels"));

        list.removeObjectAtIndex(2);
        QCOMPARE(list.getNameForURL("http://alpha.example/feed.rss"),
                 QString("http://alpha.example/feed.rss"));
    }

    void firstLoadOnceAndSaveLoadKeepOrder()
    {
        Repositories list;
        list.firstLoad();
        list.updateEntry(record("http://aardvark.example/a.txt", "txt"));
        list.firstLoad();
        list.sortUsingDescriptors({{"name", true}});
        QCOMPARE(names(list), QStringList({"Alpha", "Beta", "aardvark.example"}));
        list.save();
        QCOMPARE(
            PropertyList::readFile(UserDefaults::defaultPath())->toMap()["source"].toList(),
            QVariantList({list.objectAtIndex(0), list.objectAtIndex(1), list.objectAtIndex(2)}));

        list.removeObjectAtIndex(0);
        list.load(); // the sheet's Cancel
        QCOMPARE(names(list), QStringList({"Alpha", "Beta", "aardvark.example"}));
    }

    void registeredDefaultServesUntilUserValue()
    {
        UserDefaults::standard().removeObject("source");
        Repositories empty;
        empty.firstLoad();
        QCOMPARE(empty.count(), 0);

        UserDefaults::standard().registerDefaults(
            {{"source", QVariantList{record("http://ship.example/f.rss", "rss", "Shipped"),
                                     QString("not a record")}}});
        Repositories shipped;
        shipped.firstLoad();
        QCOMPARE(names(shipped), QStringList({"Shipped"}));
        shipped.updateEntry(record("http://own.example/o.txt", "txt"));
        shipped.save();
        Repositories own;
        own.firstLoad();
        QCOMPARE(names(own), QStringList({"Shipped", "own.example"}));
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(RepositoriesTest)
#include "RepositoriesTest.moc"
