// The catalogue store and its merges, against real files in a temporary home.

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"
#include "tests/support/TestHome.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <limits>
#include <memory>

namespace {

const QDateTime kFolderTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
const QDateTime kGameTime(QDate(2023, 1, 2), QTime(3, 4, 5), Qt::UTC);
const QDateTime kNow(QDate(2026, 2, 1), QTime(10, 0), Qt::UTC);
const QString kFeed = "http://feeds.example/levels.txt";
const QString kOther = "http://other.example/feed.rss";

// An entry from its name, author, description, guid, install folder, website, archive and
// feed URLs, its install and feed dates, then any other keys. It exists when installed.
LevelEntry entry(const QStringList& texts, const QDateTime& installed = kFolderTime,
                 const QDateTime& remote = distantPast(), const QVariantMap& extra = {})
{
    LevelEntry e{{"pubDateInstall", installed}, {"pubDateRemote", remote}};
    e.insert({{"sha1Install", QByteArray()}, {"sha1Remote", QByteArray()}});
    const char* keys[] = {"name",       "author",     "description", "guid",
                          "urlInstall", "urlWebsite", "urlDownload", "urlSource"};
    for (int i = 0; i < 8; ++i)
        e.insert(keys[i], texts.value(i));
    e.insert("exists", !texts.value(4).isEmpty());
    e.insert(extra);
    return e;
}

// A level of a feed, by name, feed, guid and install folder.
LevelEntry level(const QString& name, const QString& feed, const QString& guid,
                 const QString& install = {}, const QVariantMap& extra = {})
{
    return entry({name, "", "", guid, install, "", "", feed}, kFolderTime, distantPast(), extra);
}

// Feed items from "name=archive URL" words, each with the extra keys given for it.
QList<FeedItem> items(const QString& words, const QList<FeedItem>& extra = {})
{
    QList<FeedItem> list;
    for (const QString& word : words.split(' ')) {
        FeedItem item = extra.value(list.size());
        item.name = word.section('=', 0, 0);
        item.urlDownload = word.section('=', 1);
        list.append(item);
    }
    return list;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
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

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;
    QString m_levels;

    QString levelUrl(const QString& name) const
    {
        return QUrl::fromLocalFile(m_levels + "/" + name + "/").toString();
    }
    void setDay(int day)
    {
        m_db->setClock([day] { return kNow.addDays(day); });
    }
    QVariantList stored() const
    {
        return PropertyList::readFile(m_home->cataloguePath()).value_or(0).toList();
    }

private slots:
    void init()
    {
        m_db.reset();
        m_home.reset(); // the old home restores the environment before the new one saves it
        m_home = std::make_unique<TestHome>();
        const QString game = m_home->createFile("bin/quillmor", "#!/bin/sh\n", kGameTime);
        QFile::setPermissions(game, QFile::ReadOwner | QFile::ExeOwner);
        m_levels = m_home->installGame(game);
        m_db = std::make_unique<Database>();
        setDay(0);
    }
    void startDiscoversFoldersAndRemovesLevels()
    {
        m_home->createLevel("castle", kFolderTime);
        m_home->createDir(m_levels + "/empty");
        m_home->createDir(m_levels + "/odd/levellist.dat"); // a folder, not the marker file
        m_db->firstLoad();
        LevelEntry folder = entry({"castle", "Unknown", "User level", "", levelUrl("castle")});
        const QString site =
            Bundle::main().objectForInfoDictionaryKey("QuillmorWebsite").toString();
        const LevelEntry standard =
            entry({"Standard", "Brambix90", "Run the unmodified game", "", "", site}, kGameTime,
                  distantPast(), {{"exists", true}});
        QCOMPARE(stored(), QVariantList({folder, standard}));

        // A later start refreshes "exists" without rewriting the file.
        folder["exists"] = false;
        m_home->writeCatalogue({folder, standard, level("gone", kFeed, "g", levelUrl("gone"))});
        const QByteArray before = bytesOf(m_home->cataloguePath());
        m_db->firstLoad(); // only the first call loads
        QCOMPARE(m_db->count(), 2);
        m_db->load();
        QCOMPARE(bytesOf(m_home->cataloguePath()), before);
        QCOMPARE(column(*m_db, "exists"), QStringList({"true", "true", "false"}));

        // A removed level's folder goes to the Trash; a feed level stays, downloadable, even
        // when its folder is already gone. The catalogue is saved at once.
        for (int row : {0, 1, 2}) // the last no longer exists
            m_db->removeEntry(row);
        QCOMPARE(column(*m_db, "urlInstall"), QStringList({"", ""}));
        QVERIFY(QFileInfo::exists(m_home->dataHome() + "/Trash/files/castle"));
        QCOMPARE(stored().size(), 2);
    }

    // The catalogue file as found at a start, and its backup copy ("" for none): the levels
    // loaded, what became of the file (kept, rewritten with the file before it as the backup,
    // set aside beside the copy an earlier start set aside, or left alone), what the player is
    // told and whether a save then reaches the disk.
    void loadKeepsRewritesOrSetsAside_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // "<none>": no file, "<folder>": a folder
        QTest::addColumn<QByteArray>("backup");
        QTest::addColumn<QString>("outcome");
        const auto list = [](const QVariantList& values) {
            return PropertyList::toXml(values);
        };
        const LevelEntry x = level("x", "", "", "file:///x/"), y = level("y", "", "", "file:///y/");
        const QByteArray two = list({x, y}), good = list({level("b", kFeed, "g")});
        const auto row = [](const char* name, const QByteArray& bytes, const QString& outcome,
                            const QByteArray& backup = {}) {
            QTest::addRow("%s", name) << bytes << backup << outcome;
        };
        row("installed level only", list({x}), "x, Standard | rewritten, backed up |  | saved");
        row("default present", list({level("Standard", "", "")}), "Standard | kept |  | saved");
        row("feed level, not installed", list({level("f", kFeed, "g")}),
            "f, Standard | rewritten, backed up |  | saved");
        const QString unread = " | set aside | The level catalogue could not be read. | saved";
        row("not XML", QByteArray("\x00\x01garbage", 9), "Standard" + unread);
        row("a dictionary", PropertyList::toXml(QVariantMap{{"a", "a"}}), "Standard" + unread);
        row("a list of strings", list({"a"}), "Standard" + unread);
        row("empty, backup kept", "", "b, Standard" + unread, good);
        const QString part =
            " | set aside | Part of the level catalogue could not be read. | saved";
        row("a damaged record", QByteArray(two).insert(two.indexOf("<date>") + 6, 'x'),
            "y, Standard" + part);
        row("cut short", two.left(two.indexOf("<key>name</key>\n\t\t<string>y")),
            "x, Standard" + part);
        row("a string among records", list({"a", y}), "y, Standard" + part);
        row("missing, backup kept", "<none>",
            "b, Standard | rewritten | The level catalogue was missing. | saved", good);
        row("a folder in its place", "<folder>",
            "b, Standard | left | The level catalogue could not be opened. | not saved", good);
    }

    void loadKeepsRewritesOrSetsAside()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, backup);
        QFETCH(QString, outcome);
        const QString path = m_home->cataloguePath(),
                      backupPath = m_home->applicationDir() + "/database.backup.plist";
        if (bytes == "<folder>")
            m_home->createDir(path);
        else if (bytes != "<none>")
            m_home->createFile(path, bytes);
        m_home->createFile(path + ".unreadable", "older");
        if (!backup.isEmpty())
            m_home->createFile(backupPath, backup);
        QStringList told;
        m_db->setFailureHandler([&](const QString& message, const QString&) { told << message; });
        m_db->load();
        QString file = "rewritten";
        if (QFileInfo(path).isDir())
            file = "left";
        else if (bytesOf(path + ".unreadable-2") == bytes)
            file = "set aside";
        else if (bytesOf(path) == bytes)
            file = "kept";
        else if (bytesOf(backupPath) == bytes)
            file += ", backed up";
        const QString seen =
            column(*m_db, "name").join(", ") + " | " + file + " | " + told.join(' ') + " | ";
        QCOMPARE(seen + (m_db->save() ? "saved" : "not saved"), outcome);
        QCOMPARE(bytesOf(path + ".unreadable"), QByteArray("older"));
    }

    // What interrupted saves left beside the catalogue and its backup goes at the next start;
    // every other file stays, the one a save under way right now writes too.
    void startRemovesLeftoverTemporaries()
    {
        const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-3600);
        const QString dir = m_home->applicationDir() + '/';
        for (const char* name :
             {"database.plist.Ab3dE9", "database.backup.plist.zzzzzz", "database.plist.Ab3dE",
              "database.plist.Ab-dE9", "database.plist.unreadable", "other.plist.Ab3dE9"})
            m_home->createFile(dir + name, "partial", old);
        m_home->createFile(dir + "database.plist.Xy12Zw", "being written");
        m_db->load();
        QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name).join(' '),
                 "database.plist database.plist.Ab-dE9 database.plist.Ab3dE "
                 "database.plist.Xy12Zw database.plist.unreadable other.plist.Ab3dE9");
    }

    void forgetsFeedsFoldersAndRows()
    {
        const QString x = "file:///l/x/", y = "file:///l/y/";
        m_home->writeCatalogue({level("a", kFeed, "ga", x), level("b", kFeed, "gb"),
                                level("c", kOther, "gc", y), level("d", "", "", y),
                                level("Standard", "", "")});
        m_db->load();
        m_db->removeEntriesForInstallDir(QUrl(x));  // a feed level stays, downloadable
        m_db->removeEntriesForSource(QUrl(kOther)); // an installed level stays, without feed
        m_db->removeEntriesForSource(QUrl("http://[bad"));
        QVERIFY(!m_db->isDirty());                 // nothing left the list
        m_db->removeEntriesForInstallDir(QUrl(y)); // "c" has lost its feed by now
        m_db->removeEntriesForSource(QUrl(kFeed)); // "a" is no longer installed
        QCOMPARE(column(*m_db, "name"), QStringList({"Standard"}));

        // Sorting is stable; indexes out of range are passed over, one far below zero too.
        m_home->writeCatalogue(
            {LevelEntry{{"name", "b"}, {"length", 2}}, LevelEntry{{"name", "B"}, {"length", 1}},
             LevelEntry{{"name", "a"}, {"length", 2}}, LevelEntry{{"guid", ""}, {"length", 1}}});
        m_db->load();
        m_db->sortUsingDescriptors({{"name", true}});
        m_db->sortUsingDescriptors({{"length", false}});
        QCOMPARE(column(*m_db, "name"), QStringList({"a", "b", "", "B"}));
        m_db->removeObjectsAtIndexes({3, 0, 3, -1, std::numeric_limits<qsizetype>::min()});
        QCOMPARE(column(*m_db, "name"), QStringList({"b", ""}));
        // With a collator, names sort as the language reads them, numbers by value.
        QVariantList names;
        for (const char* name : {"Level 10", "Zebra", "Ärger", "Level 9", "Apfel", "level 9"})
            names << LevelEntry{{"name", name}};
        for (const auto& [locale, order] :
             {std::pair{"de_DE", "Apfel, Ärger, level 9, Level 9, Level 10, Zebra"},
              std::pair{"sv_SE", "Apfel, level 9, Level 9, Level 10, Zebra, Ärger"}}) {
            m_home->writeCatalogue(names);
            m_db->load();
            QCollator collator{QLocale(locale)};
            collator.setNumericMode(true);
            m_db->sortUsingDescriptors({{"name", true, {}, &collator}});
            QCOMPARE(column(*m_db, "name").join(", "), order);
        }
    }

    void textFeedMergeDatesItsChanges()
    {
        const QString zip = "http://a.example/castle.zip", keep = "Keep=http://a.example/keep.zip";
        m_db->updateDatabase(QUrl(kFeed),
                             items("Castle=" + zip + " Castle=" + zip + " " + keep + " No="));
        QCOMPARE(m_db->objectAtIndex(2),
                 entry({"Keep", "Unknown", "Downloadable level", kFeed + "#keep", "", "",
                        "http://a.example/keep.zip", kFeed},
                       distantPast(), kNow, {{"length", qint64(0)}}));
        QCOMPARE(m_db->count(), 3);
        m_db->save();
        // The same listing, spelled otherwise and merged later, is no news and keeps its date.
        setDay(1);
        m_db->updateDatabase(
            QUrl(kFeed), items("Castle=HTTP://A.example/castle.zip Castle=" + zip + " " + keep));
        m_db->updateDatabase(QUrl("http://[not a url"), items(keep)); // no feed: no change
        QVERIFY(!m_db->isDirty());
        QCOMPARE(m_db->objectAtIndex(2)["pubDateRemote"], QVariant(kNow));
        // The archive moves host, and the other file is renamed: a new level.
        setDay(3);
        const QString mirror = "http://mirror.example/castle.zip";
        m_db->updateDatabase(QUrl(kFeed), items("Castle=" + mirror + " Castle=" + mirror +
                                                " Keep=http://a.example/keep2.zip"));
        const QString castle = kFeed + "#castle";
        QCOMPARE(column(*m_db, "guid"), QStringList({castle, castle, kFeed + "#keep2"}));
        QCOMPARE(column(*m_db, "urlDownload").first(2), QStringList({mirror, zip})); // first only
        QCOMPARE(m_db->objectAtIndex(0)["pubDateRemote"], QVariant(kNow.addDays(3)));
    }

    // The merge compares plain web addresses by their text alone: each must read back from
    // the parser exactly as written, and anything the parser would write otherwise is not plain.
    void plainWebAddressesReadBackAsWritten()
    {
        for (const QString text :
             {"http://a.example/l.zip", "https://x-1.b2.example:8080/a/b?c=d&e=f#g",
              "http://h/~a_b.(1)!*$',;=:@/?+-"}) {
            QVERIFY2(isPlainWebAddress(text), qPrintable(text));
            QCOMPARE(absoluteString(QUrl(text)), text);
        }
        for (const QString text :
             {"HTTP://a.example/", "http://A.example/", "http://0x7f.1/", "http://1.2.3.4/",
              "http://a..b/", "http://a./", "http://-a/", "http://a_b/", "http://xn--nxasmq6b/",
              "http://a:080/", "http://a:65536/", "http://a:/", "http://u@a/", "http://a/%41",
              "http://a/b c", "http://a/[x]", "http://a/#x#y", "http://a/\u00e9", "ftp://a/"})
            QVERIFY2(!isPlainWebAddress(text), qPrintable(text));
    }

    // Items are kept as the catalogue file gives them back: merged again after a restart,
    // they are no news.
    void mergedItemsTakeTheirStoredForm()
    {
        FeedItem odd;
        odd.author = QStringLiteral("A\u0001B");
        odd.pubDateRemote = kNow.addMSecs(1500);
        const QList<FeedItem> feed = items("Odd=http://a.example/odd.zip", {odd});
        m_db->updateDatabase(QUrl(kFeed), feed);
        const LevelEntry entry = m_db->objectAtIndex(m_db->count() - 1);
        QCOMPARE(entry["author"], QVariant(QStringLiteral("A\uFFFDB")));
        QCOMPARE(entry["pubDateRemote"], QVariant(kNow.addSecs(1)));
        m_db->save();
        Database restarted;
        restarted.load();
        restarted.updateDatabase(QUrl(kFeed), feed);
        QVERIFY(!restarted.isDirty());
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
        const auto feed = [&](const QDateTime& date, const QString& picture = "http://r/a.png") {
            FeedItem one, copy;
            one.guid = "g1";
            one.sha1Remote = copy.sha1Remote = hash;
            one.pubDateRemote = date;
            copy.guid = "g2";
            copy.author = "";
            if (!picture.isEmpty())
                copy.urlThumbnail = picture;
            return items("One=http://r/1.zip Copy=http://r/2", {one, copy});
        };
        m_db->updateDatabase(QUrl(kOther), feed(d1));
        // Only the level installed without a feed joins the first item of its archive's hash.
        QCOMPARE(column(*m_db, "guid"), QStringList({"g1", "gf", "", "g2"}));
        QCOMPARE(column(*m_db, "urlThumbnail"), QStringList({"", "", "", "http://r/a.png"}));
        QCOMPARE(column(*m_db, "author").last(), QString());      // given, if empty
        QCOMPARE(checkInstall(m_db->objectAtIndex(0)), UpToDate); // its install date kept
        m_db->save();
        m_db->updateDatabase(QUrl(kOther), feed(installed.addDays(1)));
        QVERIFY(m_db->isDirty()); // a new date alone is news, and the feed dates the level
        QCOMPARE(checkInstall(m_db->objectAtIndex(0)), UpdateAvailable);
        // The picture changes and goes with the feed, and never dates the level anew.
        const QVariant copyDate = m_db->objectAtIndex(3)["pubDateRemote"];
        setDay(1);
        QStringList pictures;
        for (const QString picture : {"http://r/b.png", ""}) {
            m_db->save();
            m_db->updateDatabase(QUrl(kOther), feed(installed.addDays(1), picture));
            pictures << QString::number(m_db->isDirty()) +
                            m_db->objectAtIndex(3).value("urlThumbnail", "(none)").toString();
        }
        QCOMPARE(pictures, QStringList({"1http://r/b.png", "1(none)"}));
        QCOMPARE(m_db->objectAtIndex(3)["pubDateRemote"], copyDate);
        m_db->updateDatabase(QUrl(kOther), {}); // installed levels leave with their feed too
        QCOMPARE(column(*m_db, "name"), QStringList({"Fed", "Standard"}));
    }

    void recordsInstalls()
    {
        const QByteArray hash(20, '\x33');
        m_home->writeCatalogue({level("Feed", kFeed, "g"), level("Standard", "", "")});
        m_db->load();
        // A level not yet known is added; a feed level is found by guid and takes the
        // record's level keys only; without a guid, the install folder finds the entry.
        m_db->updateInstall({{"name", "Zip"}, {"urlInstall", "file:///z/"}, {"sha1Install", hash}});
        m_db->updateInstall(
            {{"guid", "g"}, {"urlInstall", "file:///f/"}, {"exists", true}, {"urlZip", "z"}});
        m_db->updateInstall({{"name", "Zip 2"}, {"guid", ""}, {"urlInstall", "file:///z/"}});
        QCOMPARE(m_db->objectAtIndex(0), level("Feed", kFeed, "g", "file:///f/"));
        QCOMPARE(m_db->objectAtIndex(2),
                 entry({"Zip 2", "Unknown", "Downloadable level", "", "file:///z/"}, kNow,
                       distantPast(), {{"sha1Install", hash}, {"length", qint64(0)}}));

        // A null in a record is an absent key, never a value that stops the save; a save that
        // cannot write keeps the catalogue dirty.
        m_db->updateInstall({{"name", QVariant()}, {"urlInstall", "file:///n/"}});
        QFile::remove(m_home->cataloguePath());
        m_home->createDir(m_home->cataloguePath());
        QStringList told;
        m_db->setFailureHandler([&](const QString& message, const QString& detail) {
            told << message + ' ' + detail.section(':', 0, 0);
        });
        QVERIFY(!m_db->save());
        QVERIFY(m_db->isDirty());
        QCOMPARE(told,
                 QStringList("The level catalogue could not be saved. " + m_home->cataloguePath()));
        QDir(m_home->cataloguePath()).removeRecursively();
        QVERIFY(m_db->save());
        QCOMPARE(stored().size(), 4);
    }

    void parsedFeedsReachCatalogueAndSources()
    {
        Repositories repositories;
        m_db->setRepositories(&repositories);
        m_db->parseFileTxt("Castle\nhttp://a.example/castle.zip\n", QUrl(kFeed));
        m_db->parseFileRss("<html><body>Sign in first</body></html>", QUrl(kOther)); // no feed
        m_db->parseFileXml("<?xml version=\"1.0\"?><QuillmorLevels/>", QUrl(kOther));
        m_db->parseFileTxt("<html>\n<body>Sign in</body>\n</html>\n", QUrl(kFeed)); // no feed
        QCOMPARE(column(*m_db, "source"), QStringList({"feeds.example"})); // the feed's name
        QCOMPARE(repositories.count(), 2);
        QCOMPARE(repositories.objectAtIndex(1)["format"], QVariant("xml"));
    }
};

QTEST_GUILESS_MAIN(DatabaseTest)
#include "DatabaseTest.moc"
