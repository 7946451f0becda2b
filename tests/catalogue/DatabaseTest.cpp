// The catalogue store and its merges, against real files in a temporary home.

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "sources/Repositories.h"
#include "tests/support/TestHome.h"

#include <QFile>
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

// One line a row: the keys that tell what became of an entry.
QStringList summary(const Database& db)
{
    QStringList rows;
    for (qsizetype i = 0; i < db.count(); ++i) {
        const LevelEntry e = db.objectAtIndex(i);
        rows << QStringList{e["name"].toString(), e["guid"].toString(), e["urlSource"].toString(),
                            e["urlInstall"].toString()}
                    .join(u'|');
    }
    return rows;
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
        m_db = std::make_unique<Database>();
        m_db->setClock([] { return kNow; });
    }
    void cleanup()
    {
        m_db.reset();
        m_home.reset();
    }

    void firstStartWritesFoldersAndDefaultLevel()
    {
        m_home->createLevel("castle", kFolderTime);
        m_home->createDir(m_levels + "/empty");
        m_home->createDir(m_levels + "/odd/levellist.dat"); // a folder, not the marker file
        m_db->firstLoad();

        const QString castle = QUrl::fromLocalFile(m_levels + "/castle/").toString();
        const LevelEntry folder =
            full({"castle", "Unknown", "User level", "", castle}, kFolderTime, distantPast(), true);
        const QString site =
            Bundle::main().objectForInfoDictionaryKey("QuillmorWebsite").toString();
        const LevelEntry standard =
            full({"Standard", "Brambix90", "Run the unmodified game", "", "", site}, kGameTime,
                 distantPast(), true);
        const auto stored = PropertyList::readFile(m_home->cataloguePath());
        QVERIFY(stored);
        QCOMPARE(stored->toList(), QVariantList({folder, standard}));
        QVERIFY(!site.isEmpty());
        for (const QString& key : folder.keys())
            QCOMPARE(stored->toList()[0].toMap()[key].metaType(), folder[key].metaType());
        QCOMPARE(m_db->objectAtIndex(0), folder);
        QVERIFY(!m_db->isDirty());

        m_home->createLevel("later");
        m_db->firstLoad(); // only the first call loads
        QCOMPARE(m_db->count(), 2);
    }

    void laterStartRefreshesExistsWithoutWriting()
    {
        m_home->createLevel("castle");
        m_home->createDir(m_levels + "/odd/levellist.dat");
        m_db->load();
        QVariantList entries = PropertyList::readFile(m_home->cataloguePath())->toList();
        LevelEntry castle = entries[0].toMap();
        castle["exists"] = false;
        entries[0] = castle;
        const QString odd = QUrl::fromLocalFile(m_levels + "/odd/").toString();
        const QString gone = QUrl::fromLocalFile(m_levels + "/gone/").toString();
        entries << level("odd", "", "", odd, {{"exists", false}}) << level("gone", "", "", gone);
        m_home->writeCatalogue(entries);
        const QByteArray before = bytesOf(m_home->cataloguePath());

        Database again;
        again.load();
        QCOMPARE(bytesOf(m_home->cataloguePath()), before);
        QCOMPARE(again.count(), 4);
        QCOMPARE(again.objectAtIndex(0)["exists"], QVariant(true));
        QCOMPARE(again.objectAtIndex(2)["exists"], QVariant(true));
        QCOMPARE(again.objectAtIndex(3)["exists"], QVariant(false));
    }

    void defaultLevelAddedOnlyWhenMissing_data()
    {
        QTest::addColumn<LevelEntry>("entry");
        QTest::addColumn<bool>("added");
        const QString folder = "file:///nowhere/x/";
        QTest::newRow("installed level only") << level("x", "", "", folder) << true;
        QTest::newRow("default present") << level("Standard", "", "") << false;
        QTest::newRow("feed level, guid \"\", not installed") << level("f", kFeed, "") << false;
        QTest::newRow("feed level, guid \"\", installed") << level("f", kFeed, "", folder) << true;
        QTest::newRow("keys missing") << LevelEntry{{"name", "bare"}} << false;
    }

    void defaultLevelAddedOnlyWhenMissing()
    {
        QFETCH(LevelEntry, entry);
        QFETCH(bool, added);
        m_home->writeCatalogue({entry});
        const QByteArray before = bytesOf(m_home->cataloguePath());
        m_db->load();
        QCOMPARE(m_db->count(), added ? 2 : 1);
        QCOMPARE(m_db->objectAtIndex(m_db->count() - 1)["name"].toString(),
                 added ? "Standard" : entry["name"].toString());
        QCOMPARE(bytesOf(m_home->cataloguePath()) != before, added);
    }

    void forgetsFeedOrFolder_data()
    {
        QTest::addColumn<QVariantList>("entries");
        QTest::addColumn<bool>("bySource");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("dirty");
        const QString x = "file:///levels/x/";
        const QVariantList mixed{level("a", kFeed, "ga", x), level("b", kFeed, "gb"),
                                 level("c", kOther, "gc", x), level("d", "", "", x),
                                 level("Standard", "", "")};
        QTest::newRow("feed with installed and downloadable levels")
            << mixed << true
            << QStringList{"a|ga||" + x, "c|gc|" + kOther + "|" + x, "d|||" + x, "Standard|||"}
            << true;
        QTest::newRow("feed with installed levels only")
            << QVariantList{mixed[0], mixed[2], mixed[4]} << true
            << QStringList{"a|ga||" + x, "c|gc|" + kOther + "|" + x, "Standard|||"} << false;
        QTest::newRow("folder of a feed level and a level without feed")
            << mixed << false
            << QStringList{"a|ga|" + kFeed + "|", "b|gb|" + kFeed + "|", "c|gc|" + kOther + "|",
                           "Standard|||"}
            << true;
        QTest::newRow("folder of feed levels only")
            << QVariantList{mixed[0], mixed[4]} << false
            << QStringList{"a|ga|" + kFeed + "|", "Standard|||"} << false;
    }

    void forgetsFeedOrFolder()
    {
        QFETCH(QVariantList, entries);
        QFETCH(bool, bySource);
        QFETCH(QStringList, expected);
        QFETCH(bool, dirty);
        m_home->writeCatalogue(entries);
        m_db->load();
        m_db->save();
        if (bySource)
            m_db->removeEntriesForSource(QUrl(kFeed));
        else
            m_db->removeEntriesForInstallDir(QUrl("file:///levels/x/"));
        QCOMPARE(summary(*m_db), expected);
        QCOMPARE(m_db->isDirty(), dirty);

        // Two saves without a change in between write once.
        m_db->save();
        m_home->createFile(m_home->cataloguePath(), "written by hand");
        m_db->save();
        QCOMPARE(bytesOf(m_home->cataloguePath()), QByteArray("written by hand"));
    }

    void removeEntryTrashesFolder_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("level found in the folder") << "" << true << QStringList{"Standard|||"};
        QTest::newRow("installed feed level")
            << kFeed << true << QStringList{"castle|g|" + kFeed + "|", "Standard|||"};
        QTest::newRow("folder already gone") << "" << false << QStringList{"Standard|||"};
    }

    void removeEntryTrashesFolder()
    {
        QFETCH(QString, source);
        QFETCH(bool, folderExists);
        QFETCH(QStringList, expected);
        const QString folder = m_levels + "/castle";
        const QString url = QUrl::fromLocalFile(folder + "/").toString();
        m_home->writeCatalogue(
            {level("castle", source, source.isEmpty() ? "" : "g", url), level("Standard", "", "")});
        if (folderExists)
            m_home->createLevel("castle");
        m_db->load();
        m_db->removeEntry(0);

        QCOMPARE(summary(*m_db), expected);
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(QFileInfo::exists(m_home->dataHome() + "/Trash/files/castle"), folderExists);
        QCOMPARE(PropertyList::readFile(m_home->cataloguePath())->toList().size(), m_db->count());
        if (!source.isEmpty()) // uninstalled, the rest of the entry stays
            QCOMPARE(m_db->objectAtIndex(0)["pubDateInstall"], QVariant(kFolderTime));
    }

    void tableColumns()
    {
        UserDefaults::standard().setObject(
            QVariantList{QVariantMap{{"urlDownload", kFeed}, {"name", "Alpha"}}}, "source");
        Repositories repositories;
        repositories.firstLoad();
        m_db->setRepositories(&repositories);
        m_home->writeCatalogue({level("Standard", "", ""), level("d", "", "", "file:///l/d/"),
                                level("f", kFeed, "g"), level("o", kOther, "g")});
        m_db->load();
        QStringList shown;
        for (int row = 0; row < m_db->numberOfRowsInTableView(); ++row)
            shown << m_db->objectValueForTableColumn("source", row).toString();
        QCOMPARE(shown, QStringList({"", "", "Alpha", kOther}));
        QCOMPARE(m_db->objectValueForTableColumn("name", 2), QVariant("f"));
        QVERIFY(!m_db->objectValueForTableColumn("length", 2).isValid());
    }

    void damagedCatalogueIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not XML") << QByteArray("\x00\x01garbage", 9);
        QTest::newRow("truncated")
            << PropertyList::toXml(QVariantList{level("a", "", "")}).left(200);
        QTest::newRow("a dictionary") << PropertyList::toXml(QVariantMap{{"name", "a"}});
        QTest::newRow("a list of strings") << PropertyList::toXml(QVariantList{"a", "b"});
    }

    void damagedCatalogueIsKeptAside()
    {
        QFETCH(QByteArray, bytes);
        m_home->createFile(m_home->cataloguePath(), bytes);
        m_home->createFile(m_home->cataloguePath() + ".unreadable", "older");
        m_db->load();
        QCOMPARE(bytesOf(m_home->cataloguePath() + ".unreadable"), bytes);
        QCOMPARE(PropertyList::readFile(m_home->cataloguePath())->toList().size(), 1);
    }

    void sortsStablyAndRemovesIndexes()
    {
        m_home->writeCatalogue(
            {LevelEntry{{"name", "b"}, {"length", 2}}, LevelEntry{{"name", "B"}, {"length", 1}},
             LevelEntry{{"name", "a"}, {"length", 2}}, LevelEntry{{"guid", ""}, {"length", 1}}});
        m_db->load();
        m_db->sortUsingDescriptors({{"name", true}});
        QCOMPARE(summary(*m_db).join(','), QString("|||,B|||,a|||,b|||"));
        m_db->sortUsingDescriptors({{"length", false}});
        QCOMPARE(summary(*m_db).join(','), QString("a|||,b|||,|||,B|||"));
        m_db->removeObjectsAtIndexes({3, 0, 3});
        QCOMPARE(summary(*m_db).join(','), QString("b|||,|||"));
        QVERIFY(!m_db->isDirty());
    }

    void textFeedMerge()
    {
        const QString castle = kFeed + "#castle";
        m_db->updateDatabase(QUrl(kFeed),
                             {item("Castle", "http://a.example/castle.zip"),
                              item("Castle", "http://a.example/castle.zip"),
                              item("Keep", "http://a.example/keep.zip"), item("No archive", "")});
        QCOMPARE(summary(*m_db), QStringList({"Castle|" + castle + "|" + kFeed + "|",
                                              "Castle|" + castle + "|" + kFeed + "|",
                                              "Keep|" + kFeed + "#keep|" + kFeed + "|"}));
        LevelEntry keep = full({"Keep", "Unknown", "Downloadable level", kFeed + "#keep", "", "",
                                "http://a.example/keep.zip", kFeed},
                               distantPast(), kNow, false);
        keep.insert("length", qint64(0));
        QCOMPARE(m_db->objectAtIndex(2), keep);
        QVERIFY(m_db->isDirty());
        m_db->save();
        m_db->updateDatabase(QUrl(kFeed), {item("Castle", "http://a.example/castle.zip"),
                                           item("Castle", "http://a.example/castle.zip"),
                                           item("Keep", "http://a.example/keep.zip")});
        QVERIFY(!m_db->isDirty());

        // The first castle is installed; the archive moves host and the other file is renamed.
        LevelEntry installed = m_db->objectAtIndex(0);
        installed.insert({{"urlInstall", "file:///l/castle/"}, {"pubDateInstall", kNow}});
        m_db->replaceObjectAtIndex(0, installed);
        const QDateTime later = kNow.addDays(3);
        m_db->setClock([later] { return later; });
        m_db->updateDatabase(QUrl(kFeed), {item("Castle", "http://mirror.example/castle.zip"),
                                           item("Castle", "http://mirror.example/castle.zip"),
                                           item("Keep", "http://a.example/keep2.zip")});
        QCOMPARE(summary(*m_db).mid(1), QStringList({"Castle|" + castle + "|" + kFeed + "|",
                                                     "Keep|" + kFeed + "#keep2|" + kFeed + "|"}));
        QCOMPARE(m_db->objectAtIndex(0)["urlDownload"],
                 QVariant("http://mirror.example/castle.zip"));
        QCOMPARE(m_db->objectAtIndex(0)["pubDateRemote"], QVariant(later));
        QCOMPARE(checkInstall(m_db->objectAtIndex(0)), UpdateAvailable);
        QCOMPARE(m_db->objectAtIndex(1)["urlDownload"], QVariant("http://a.example/castle.zip"));
        QVERIFY(m_db->isDirty());
    }

    void rssFeedMerge()
    {
        const QByteArray h1(20, '\x11'), h2(20, '\x22');
        const QDateTime d1(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
        const QDateTime installedAt = d1.addDays(30);
        const QString x = "file:///l/x/", y = "file:///l/y/";
        m_home->writeCatalogue(
            {level("Own", kOther, "g2"),
             level("Local", "", "", x, {{"sha1Install", h1}, {"pubDateInstall", installedAt}}),
             level("Local2", "", "", y, {{"sha1Install", h2}}), level("Standard", "", "")});
        m_db->load();
        const auto feed = [&](const QString& title, const QDateTime& date) {
            const QVariantMap dup{{"guid", "g3"}, {"author", ""}};
            return QVariantList{item(title, "http://r.example/one.zip",
                                     {{"guid", "g1"},
                                      {"author", "A"},
                                      {"description", "D"},
                                      {"sha1Remote", h1},
                                      {"length", qint64(5)},
                                      {"pubDateRemote", date}}),
                                item("Two", "http://r.example/two.zip",
                                     {{"guid", "g2"}, {"sha1Remote", h2}, {"pubDateRemote", d1}}),
                                item("Dup", "http://r.example/dup.zip", dup),
                                item("Dup", "http://r.example/dup.zip", dup)};
        };
        m_db->updateDatabase(QUrl(kOther), feed("One", d1));
        const QString rss = "|" + kOther + "|";
        QCOMPARE(summary(*m_db),
                 QStringList({"Two|g2" + rss, "One|g1" + rss + x, "Local2|g2" + rss + y,
                              "Standard|||", "Dup|g3" + rss, "Dup|g3" + rss}));
        const LevelEntry linked = m_db->objectAtIndex(1);
        QCOMPARE(QVariantList({linked["author"], linked["description"], linked["urlDownload"],
                               linked["pubDateRemote"], linked["sha1Install"],
                               linked["pubDateInstall"]}),
                 QVariantList({"A", "D", "http://r.example/one.zip", d1, h1, installedAt}));
        QCOMPARE(checkInstall(linked), UpToDate);
        QCOMPARE(m_db->objectAtIndex(4)["author"], QVariant(""));

        m_db->save();
        m_db->updateDatabase(QUrl(kOther), feed("One", d1));
        QVERIFY(!m_db->isDirty());
        m_db->updateDatabase(QUrl(kOther), feed("One renamed", d1));
        QCOMPARE(m_db->objectAtIndex(1)["name"], QVariant("One renamed"));
        QCOMPARE(m_db->objectAtIndex(1)["pubDateRemote"], QVariant(d1));
        QVERIFY(m_db->isDirty());
        m_db->save();
        m_db->updateDatabase(QUrl(kOther), feed("One renamed", installedAt.addDays(1)));
        QVERIFY(m_db->isDirty());
        QCOMPARE(checkInstall(m_db->objectAtIndex(1)), UpdateAvailable);

        m_db->save();
        m_db->updateDatabase(QUrl(kOther), {});
        QCOMPARE(summary(*m_db), QStringList({"Standard|||"}));
        QVERIFY(m_db->isDirty());
    }

    void recordsInstalls()
    {
        const QByteArray hash(20, '\x33');
        LevelEntry minimal{{"name", "Zip"}, {"urlInstall", "file:///l/zip/"}, {"exists", true}};
        minimal.insert({{"sha1Install", hash}, {"pubDateInstall", kFolderTime}});
        LevelEntry built = full({"Zip", "Unknown", "Downloadable level", "", "file:///l/zip/"},
                                kFolderTime, distantPast(), true);
        built.insert({{"sha1Install", hash}, {"length", qint64(0)}});
        QCOMPARE(m_db->buildEntry(minimal), built);
        QCOMPARE(m_db->buildEntry({{"name", "N"}, {"urlInstall", "file:///n/"}})["pubDateInstall"],
                 QVariant(kNow));

        m_home->writeCatalogue({level("Feed", kFeed, "g"), level("Standard", "", "")});
        m_db->load();
        m_db->updateInstall(minimal);
        QCOMPARE(m_db->objectAtIndex(2), m_db->buildEntry(minimal));
        QVERIFY(m_db->isDirty());
        m_db->save();

        const LevelEntry installed{{"urlInstall", "file:///l/feed/"},
                                   {"sha1Install", hash},
                                   {"pubDateInstall", kNow},
                                   {"exists", true}};
        LevelEntry fromFeed{{"name", "Feed"}, {"guid", "g"}, {"urlZip", "file:///d/feed.zip"}};
        fromFeed.insert(installed);
        m_db->updateInstall(fromFeed);
        LevelEntry expected = level("Feed", kFeed, "g");
        expected.insert(installed);
        QCOMPARE(m_db->objectAtIndex(0), expected);
        QVERIFY(m_db->isDirty());

        m_db->updateInstall({{"name", "Zip 2"}, {"guid", ""}, {"urlInstall", "file:///l/zip/"}});
        QCOMPARE(m_db->count(), 3);
        QCOMPARE(m_db->objectAtIndex(2)["name"], QVariant("Zip 2"));
        QCOMPARE(m_db->objectAtIndex(2)["sha1Install"], QVariant(hash));
    }

    void parsedFeedsReachCatalogueAndSources()
    {
        Repositories repositories;
        m_db->setRepositories(&repositories);
        const QUrl txt(kFeed), rss(kOther);
        m_db->parseFileTxt("Castle\nhttp://a.example/castle.zip\nKeep\nhttp://a.example/k.zip\n",
                           txt);
        m_db->parseFileRss("<html><body>Sign in first</body></html>", rss);
        m_db->parseFileXml("<?xml version=\"1.0\"?><QuillmorLevels/>", rss);
        QCOMPARE(summary(*m_db), QStringList({"Castle|" + kFeed + "#castle|" + kFeed + "|",
                                              "Keep|" + kFeed + "#k|" + kFeed + "|"}));
        QCOMPARE(repositories.count(), 2);
        QCOMPARE(repositories.objectAtIndex(0)["format"], QVariant("txt"));
        QCOMPARE(repositories.objectAtIndex(0)["nextCheckDate"], QVariant(kNow.addDays(7)));
        QCOMPARE(repositories.objectAtIndex(1)["format"], QVariant("xml"));

        // A page served in place of the list is no feed: the levels stay.
        m_db->parseFileTxt("<html>\n<body>Sign in</body>\n</html>\n", txt);
        QCOMPARE(m_db->count(), 2);
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;
    QString m_levels;
};

QTEST_GUILESS_MAIN(DatabaseTest)
#include "DatabaseTest.moc"
