// The catalogue store and its merges, against real files in a temporary home.

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "sources/Repositories.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const QDateTime kFolderTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
const QDateTime kGameTime(QDate(2023, 1, 2), QTime(3, 4, 5), Qt::UTC);
const QDateTime kNow(QDate(2026, 2, 1), QTime(10, 0), Qt::UTC);
const QString kFeed = "http://feeds.example/levels.txt";
const QString kOther = "http://other.example/feed.rss";

LevelEntry level(const QString& name, const QString& source, const QString& guid,
                 const QString& install = {}, const QVariantMap& extra = {})
{
    LevelEntry e{{"name", name}, {"guid", guid}, {"urlSource", source}, {"urlInstall", install}};
    e.insert({{"urlDownload", ""}, {"exists", !install.isEmpty()}, {"sha1Install", QByteArray()}});
    e.insert("pubDateInstall", kFolderTime);
    e.insert(extra);
    return e;
}

// A complete entry: name, author, description, guid, then the install folder, website,
// archive and feed URLs, the two dates and "exists"; both hashes empty.
LevelEntry full(const QStringList& texts, const QDateTime& installed, const QDateTime& remote,
                bool exists)
{
    LevelEntry e{{"pubDateInstall", installed}, {"pubDateRemote", remote}, {"exists", exists}};
    e.insert({{"sha1Install", QByteArray()}, {"sha1Remote", QByteArray()}});
    const char* keys[] = {"name",       "author",     "description", "guid",
                          "urlInstall", "urlWebsite", "urlDownload", "urlSource"};
    for (int i = 0; i < 8; ++i)
        e.insert(keys[i], texts.value(i));
    return e;
}

FeedItem item(const QString& name, const QString& download, const QVariantMap& extra = {})
{
    FeedItem i{{"name", name}, {"urlDownload", download}};
    i.insert(extra);
    return i;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QVariantList storedEntries(const QString& path)
{
    return PropertyList::readFile(path).value_or(QVariant()).toList();
}

// A column as the level table shows it.
QStringList column(const Database& db, const QString& id)
{
    QStringList values;
    for (int row = 0; row < db.numberOfRowsInTableView(); ++row)
        values << db.objectValueForTableColumn(id, row).toString();
    return values;
}

} // namespace

class DatabaseTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        const QString game = m_home->createFile("bin/quillmor", "#!/bin/sh\n", kGameTime);
        QFile::setPermissions(game, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_levels = m_home->installGame(game);
        m_catalogue = m_home->cataloguePath();
        m_db = std::make_unique<Database>();
        m_db->setClock([] { return kNow; });
    }
    void cleanup()
    {
        m_db.reset();
        m_home.reset();
    }

    void startsDiscoverFoldersOnceAndRefreshExistsWithoutWriting()
    {
        m_home->createLevel("castle", kFolderTime);
        m_home->createDir(m_levels + "/empty");
        m_home->createDir(m_levels + "/odd/levellist.dat"); // a folder, not the marker file
        m_db->firstLoad();

        LevelEntry folder = full({"castle", "Unknown", "User level", "", levelUrl("castle")},
                                 kFolderTime, distantPast(), true);
        const QString site =
            Bundle::main().objectForInfoDictionaryKey("QuillmorWebsite").toString();
        const LevelEntry standard =
            full({"Standard", "Brambix90", "Run the unmodified game", "", "", site}, kGameTime,
                 distantPast(), true);
        QCOMPARE(storedEntries(m_catalogue), QVariantList({folder, standard}));
        QVERIFY(!m_db->isDirty());

        folder["exists"] = false;
        m_home->writeCatalogue({folder, standard, level("gone", "", "", levelUrl("gone"))});
        const QByteArray before = bytesOf(m_catalogue);
        m_db->firstLoad(); // only the first call loads
        QCOMPARE(m_db->count(), 2);
        m_db->load(); // a later start over the same folders
        QCOMPARE(bytesOf(m_catalogue), before);
        QCOMPARE(column(*m_db, "exists"), QStringList({"true", "true", "false"}));
    }

    void loadAddsDefaultLevelOrSetsDamagedFileAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("file"); // kept, rewritten with the default level, or set aside
        const auto list = [](const QVariant& entry) {
            return PropertyList::toXml(QVariantList{entry});
        };
        const QString x = "file:///nowhere/x/";
        QTest::newRow("installed level only") << list(level("x", "", "", x)) << "rewritten";
        QTest::newRow("default present") << list(level("Standard", "", "")) << "kept";
        QTest::newRow("feed level, not installed") << list(level("f", kFeed, "g")) << "rewritten";
        QTest::newRow("feed level, guid \"\", not installed")
            << list(level("f", kFeed, "")) << "kept";
        QTest::newRow("feed level, guid \"\", installed")
            << list(level("f", kFeed, "", x)) << "rewritten";
        QTest::newRow("keys missing") << list(LevelEntry{{"name", "bare"}}) << "kept";
        QTest::newRow("not XML") << QByteArray("\x00\x01garbage", 9) << "set aside";
        QTest::newRow("truncated") << list(level("a", "", "")).left(200) << "set aside";
        QTest::newRow("a dictionary")
            << PropertyList::toXml(QVariantMap{{"name", "a"}}) << "set aside";
        QTest::newRow("a list of strings") << list("a") << "set aside";
    }

    void loadAddsDefaultLevelOrSetsDamagedFileAside()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, file);
        m_home->createFile(m_catalogue, bytes);
        m_home->createFile(m_catalogue + ".unreadable", "older");
        m_db->load();
        QCOMPARE(m_db->count(), file == "rewritten" ? 2 : 1); // the default level appended
        QCOMPARE(bytesOf(m_catalogue) != bytes, file != "kept");
        QCOMPARE(bytesOf(m_catalogue + ".unreadable") == bytes, file == "set aside");
    }

    void forgetsFeedsAndFolders()
    {
        const QString x = "file:///l/x/", y = "file:///l/y/";
        m_home->writeCatalogue({level("a", kFeed, "ga", x), level("b", kFeed, "gb"),
                                level("c", kOther, "gc", y), level("d", "", "", y),
                                level("Standard", "", "")});
        m_db->load();
        m_db->removeEntriesForInstallDir(QUrl(x));  // a feed level stays, downloadable
        m_db->removeEntriesForSource(QUrl(kOther)); // an installed level stays, without feed
        QCOMPARE(column(*m_db, "name"), QStringList({"a", "b", "c", "d", "Standard"}));
        QVERIFY(!m_db->isDirty());                 // nothing left the list
        m_db->removeEntriesForInstallDir(QUrl(y)); // "c" has lost its feed by now
        QCOMPARE(column(*m_db, "name"), QStringList({"a", "b", "Standard"}));
        QVERIFY(m_db->isDirty());
        m_db->save();
        m_db->removeEntriesForSource(QUrl(kFeed)); // "a" is no longer installed
        QCOMPARE(column(*m_db, "name"), QStringList({"Standard"}));
        QVERIFY(m_db->isDirty());

        // Two saves without a change in between write once.
        m_db->save();
        m_home->createFile(m_catalogue, "written by hand");
        m_db->save();
        QCOMPARE(bytesOf(m_catalogue), QByteArray("written by hand"));
    }

    void removeEntryTrashesFolderAndKeepsFeedLevels()
    {
        m_home->createLevel("castle");
        m_home->writeCatalogue({level("castle", "", "", levelUrl("castle")),
                                level("keep", kFeed, "g", levelUrl("keep")),
                                level("Standard", "", "")});
        m_db->load();
        m_db->removeEntry(0);
        m_db->removeEntry(0); // its folder is already gone
        m_db->removeEntry(2); // no such row
        QCOMPARE(column(*m_db, "name"), QStringList({"keep", "Standard"}));
        QCOMPARE(column(*m_db, "urlInstall"), QStringList({"", ""})); // still downloadable
        QVERIFY(!QFileInfo::exists(m_levels + "/castle"));
        QVERIFY(QFileInfo::exists(m_home->dataHome() + "/Trash/files/castle"));
        QCOMPARE(storedEntries(m_catalogue).size(), 2); // saved at once
    }

    void sortsStablyAndRemovesIndexes()
    {
        m_home->writeCatalogue(
            {LevelEntry{{"name", "b"}, {"length", 2}}, LevelEntry{{"name", "B"}, {"length", 1}},
             LevelEntry{{"name", "a"}, {"length", 2}}, LevelEntry{{"guid", ""}, {"length", 1}}});
        m_db->load();
        m_db->sortUsingDescriptors({{"name", true}});
        QCOMPARE(column(*m_db, "name"), QStringList({"", "B", "a", "b"}));
        m_db->sortUsingDescriptors({{"length", false}});
        QCOMPARE(column(*m_db, "name"), QStringList({"a", "b", "", "B"}));
        m_db->removeObjectsAtIndexes({3, 0, 3, -1});
        QCOMPARE(column(*m_db, "name"), QStringList({"b", ""}));
        QVERIFY(!m_db->isDirty());
    }

    void textFeedMergeDatesItsChanges()
    {
        const auto feed = [](const QString& castle, const QString& keep) {
            return QVariantList{item("Castle", castle), item("Castle", castle), item("Keep", keep)};
        };
        const QString zip = "http://a.example/castle.zip", keepZip = "http://a.example/keep.zip";
        m_db->updateDatabase(QUrl(kFeed), feed(zip, keepZip) << item("No archive", ""));
        LevelEntry keep =
            full({"Keep", "Unknown", "Downloadable level", kFeed + "#keep", "", "", keepZip, kFeed},
                 distantPast(), kNow, false);
        keep.insert("length", qint64(0));
        QCOMPARE(m_db->count(), 3);
        QCOMPARE(m_db->objectAtIndex(2), keep);
        QVERIFY(m_db->isDirty());
        m_db->save();
        // The same listing, spelled otherwise and merged later, is no news and keeps its date.
        m_db->setClock([] { return kNow.addDays(1); });
        m_db->updateDatabase(QUrl(kFeed), feed("HTTP://A.example/castle.zip", keepZip));
        QVERIFY(!m_db->isDirty());
        QCOMPARE(m_db->objectAtIndex(2)["pubDateRemote"], QVariant(kNow));
        m_db->updateDatabase(QUrl("not a url"), {}); // no feed, no change
        QCOMPARE(m_db->count(), 3);

        // The archive moves host and the other file is renamed.
        m_db->setClock([] { return kNow.addDays(3); });
        const QString mirror = "http://mirror.example/castle.zip";
        m_db->updateDatabase(QUrl(kFeed), feed(mirror, "http://a.example/keep2.zip"));
        const QString castle = kFeed + "#castle";
        QCOMPARE(column(*m_db, "guid"), QStringList({castle, castle, kFeed + "#keep2"}));
        QCOMPARE(column(*m_db, "urlDownload").first(2), QStringList({mirror, zip})); // first only
        QCOMPARE(m_db->objectAtIndex(0)["pubDateRemote"], QVariant(kNow.addDays(3)));
        QVERIFY(m_db->isDirty());
    }

    void installedLevelJoinsFeedByHashAndLeavesWithIt()
    {
        const QByteArray hash(20, '\x11');
        const QDateTime d1(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC), installed = d1.addDays(30);
        m_home->writeCatalogue({level("Local", "", "", "file:///l/x/",
                                      {{"sha1Install", hash}, {"pubDateInstall", installed}}),
                                level("Fed", kFeed, "gf", "file:///l/f/", {{"sha1Install", hash}}),
                                level("Standard", "", "")});
        m_db->load();
        const auto feed = [&](const QString& title, const QDateTime& date) {
            const QVariantMap one{{"guid", "g1"}, {"sha1Remote", hash}, {"pubDateRemote", date}};
            const QVariantMap copy{{"guid", "g2"}, {"sha1Remote", hash}, {"author", ""}};
            return QVariantList{item(title, "http://r/1.zip", one),
                                item("Copy", "http://r/2", copy)};
        };
        m_db->updateDatabase(QUrl(kOther), feed("One", d1));
        // Only the level installed without a feed joins the first item of its archive's hash.
        QCOMPARE(column(*m_db, "name"), QStringList({"One", "Fed", "Standard", "Copy"}));
        QCOMPARE(column(*m_db, "guid"), QStringList({"g1", "gf", "", "g2"}));
        QCOMPARE(column(*m_db, "author").last(), QString());      // given, if empty
        QCOMPARE(checkInstall(m_db->objectAtIndex(0)), UpToDate); // its install date kept

        m_db->save();
        m_db->updateDatabase(QUrl(kOther), feed("One", d1));
        QVERIFY(!m_db->isDirty());
        m_db->updateDatabase(QUrl(kOther), feed("One renamed", d1));
        QCOMPARE(m_db->objectAtIndex(0)["pubDateRemote"], QVariant(d1)); // the feed dates it
        QVERIFY(m_db->isDirty());
        m_db->save();
        m_db->updateDatabase(QUrl(kOther), feed("One renamed", installed.addDays(1)));
        QVERIFY(m_db->isDirty()); // a new date alone is news
        QCOMPARE(checkInstall(m_db->objectAtIndex(0)), UpdateAvailable);

        m_db->save();
        m_db->updateDatabase(QUrl(kOther), {}); // installed levels leave with their feed too
        QCOMPARE(column(*m_db, "name"), QStringList({"Fed", "Standard"}));
        QVERIFY(m_db->isDirty());
    }

    void recordsInstalls()
    {
        const QByteArray hash(20, '\x33');
        const LevelEntry zip{{"name", "Zip"}, {"urlInstall", "file:///z/"}, {"sha1Install", hash}};
        LevelEntry built = full({"Zip", "Unknown", "Downloadable level", "", "file:///z/"}, kNow,
                                distantPast(), true);
        built.insert({{"sha1Install", hash}, {"length", qint64(0)}});
        QCOMPARE(m_db->buildEntry(zip), built);

        m_home->writeCatalogue({level("Feed", kFeed, "g"), level("Standard", "", "")});
        m_db->load();
        m_db->updateInstall(zip); // a level not yet known is added
        QCOMPARE(m_db->objectAtIndex(2), built);
        QVERIFY(m_db->isDirty());

        // A feed level is found by guid and takes the record's level keys only.
        const QString folder = "file:///l/feed/";
        m_db->updateInstall(
            {{"guid", "g"}, {"urlInstall", folder}, {"exists", true}, {"urlZip", "z"}});
        QCOMPARE(m_db->objectAtIndex(0), level("Feed", kFeed, "g", folder));

        // Without a guid, the install folder finds the entry.
        m_db->updateInstall({{"name", "Zip 2"}, {"guid", ""}, {"urlInstall", "file:///z/"}});
        QCOMPARE(column(*m_db, "name"), QStringList({"Feed", "Standard", "Zip 2"}));

        // A null in a record is an absent key, never a value that stops the save.
        m_db->updateInstall({{"name", QVariant()}, {"urlInstall", "file:///n/"}});
        m_db->save();
        QCOMPARE(storedEntries(m_catalogue).size(), 4);

        // A save that cannot write keeps the file as it was and the catalogue dirty.
        m_db->updateInstall({{"name", "Late"}, {"urlInstall", "file:///late/"}});
        QFile::remove(m_catalogue);
        m_home->createDir(m_catalogue);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not write"));
        m_db->save();
        QVERIFY(m_db->isDirty());
        QDir(m_catalogue).removeRecursively();
        m_db->save();
        QCOMPARE(storedEntries(m_catalogue).size(), 5);
    }

    // What a merge keeps is what the file gives back: merging, saving, starting again and
    // merging the same feed changes nothing, however awkward the feed.
    void mergeSurvivesRestart_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray rss = "<rss xmlns:media=\"http://search.yahoo.com/mrss/\"><channel>"
                               "<title>T\x01</title><item><title>%1</title>"
                               "<description>a&#13;b</description><enclosure url=\"%2\" "
                               "type=\"application/x-quillmor-level\"/></item></channel></rss>";
        QTest::newRow("text, control character in name")
            << "txt" << QByteArray("Cas\x01tle\nhttp://a.example/castle.zip\n");
        QTest::newRow("rss, no guid, control character in archive URL")
            << "rss" << QByteArray(rss).replace("%1", "Castle").replace("%2", "http://a/c%01.zip");
        QTest::newRow("rss, no date, carriage return")
            << "rss" << QByteArray(rss).replace("%1", "C&#xD;astle").replace("%2", "c.zip");
    }

    void mergeSurvivesRestart()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        Repositories repositories;
        m_db->setRepositories(&repositories);
        m_db->setClock([] { return QDateTime::currentDateTimeUtc(); }); // with milliseconds
        const auto merge = [&](Database& db) {
            format == "txt" ? db.parseFileTxt(bytes, QUrl(kFeed))
                            : db.parseFileRss(bytes, QUrl(kFeed));
        };
        m_db->load();
        merge(*m_db);
        QCOMPARE(m_db->count(), 2);
        m_db->updateInstall({{"guid", m_db->objectAtIndex(1)["guid"]},
                             {"urlInstall", levelUrl("Castle")},
                             {"pubDateInstall", QDateTime::currentDateTimeUtc().addSecs(1)}});
        m_db->save();
        repositories.save();

        Database restarted;
        Repositories sources;
        restarted.setRepositories(&sources);
        sources.load();
        restarted.load();
        merge(restarted);
        for (int row = 0; row < 2; ++row)
            QCOMPARE(restarted.objectAtIndex(row), m_db->objectAtIndex(row));
        QVERIFY(!restarted.isDirty());
        QCOMPARE(checkInstall(restarted.objectAtIndex(1)), UpToDate);
        QCOMPARE(sources.objectAtIndex(0), repositories.objectAtIndex(0));
    }

    void parsedFeedsReachCatalogueAndSources()
    {
        Repositories repositories;
        m_db->setRepositories(&repositories);
        const QUrl txt(kFeed), rss(kOther);
        m_db->parseFileTxt("Castle\nhttp://a.example/castle.zip\n", txt);
        m_db->parseFileRss("<html><body>Sign in first</body></html>", rss); // no feed at all
        m_db->parseFileXml("<?xml version=\"1.0\"?><QuillmorLevels/>", rss);
        QCOMPARE(column(*m_db, "guid"), QStringList({kFeed + "#castle"}));
        QCOMPARE(column(*m_db, "source"), QStringList({"feeds.example"})); // the feed's name
        QCOMPARE(repositories.count(), 2);
        QCOMPARE(repositories.objectAtIndex(0)["format"], QVariant("txt"));
        QCOMPARE(repositories.objectAtIndex(1)["format"], QVariant("xml"));

        // A page served in place of the list is no feed: the levels stay.
        m_db->parseFileTxt("<html>\n<body>Sign in</body>\n</html>\n", txt);
        QCOMPARE(m_db->count(), 1);

        // A source stored in another spelling of the feed's URL still names its levels.
        UserDefaults::standard().setObject(
            QVariantList{QVariantMap{{"urlDownload", "http://Feeds.Example/levels.txt"},
                                     {"name", "Mixed case"}}},
            "source");
        repositories.load();
        QCOMPARE(column(*m_db, "source"), QStringList({"Mixed case"}));
    }

private:
    QString levelUrl(const QString& name) const
    {
        return QUrl::fromLocalFile(m_levels + "/" + name + "/").toString();
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;
    QString m_levels;
    QString m_catalogue;
};

QTEST_GUILESS_MAIN(DatabaseTest)
#include "DatabaseTest.moc"
