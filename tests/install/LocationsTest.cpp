// Locations and entry predicates in a temporary home, with and without the game installed.

#include "install/Locations.h"
#include "tests/support/TestHome.h"

#include <QFileInfo>
#include <QTest>

#include <optional>

class LocationsTest : public QObject
{
    Q_OBJECT

    // emplace() ends the last case's home, which restores the environment, before the next.
    std::optional<TestHome> m_home;

private slots:
    void init() { m_home.emplace(); }

    // The folders, made on demand, with the game the launcher's Info.plist names or without.
    void locations_data()
    {
        QTest::addColumn<QString>("gameIdentifier"); // none: the key is missing
        QTest::addColumn<bool>("found");
        QTest::newRow("the game") << "org.quillmor.Quillmor" << true;
        QTest::newRow("another game") << "org.other.Game" << false;
        QTest::newRow("no game key") << QString() << false;
    }
    void locations()
    {
        QFETCH(QString, gameIdentifier);
        QFETCH(bool, found);
        m_home->installGame();
        QVariantMap info{{"BundleIdentifier", "org.quillmor.Launcher"}};
        if (!gameIdentifier.isEmpty())
            info.insert("QuillmorBundleIdentifier", gameIdentifier);
        m_home->setInfoPlist(info);
        const QString download = m_home->applicationDir() + "/Download";
        const QStringList seen{getGameLevelDir().value_or("none"), getDownloadDir().value_or(""),
                               QString::number(QFileInfo(m_home->gameLevelDir()).isDir()),
                               QString::number(QFileInfo(download).isDir())};
        QCOMPARE(seen, QStringList({found ? m_home->gameLevelDir() : "none", download,
                                    QString::number(found), "1"}));
    }

    // A stored text as a URL: none for a missing, empty or unparsable one.
    void urlForKey()
    {
        const QVariantMap record{
            {"empty", ""}, {"web", "http://h/a%20b.zip"}, {"bad", "http://[bad"}};
        QList<QUrl> urls;
        for (const char* key : {"missing", "empty", "web", "bad"})
            urls << ::urlForKey(record, key);
        QCOMPARE(urls, QList<QUrl>({QUrl(), QUrl(), QUrl("http://h/a b.zip"), QUrl()}));
    }

    void predicates_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("launchable");
        const QDateTime day(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
        // The remote date's offset from the install date in seconds; -1000 leaves the install
        // date out.
        const auto row = [&](const char* name, QString download, QString install, int later,
                             QVariant exists, QString guid, int state, bool launchable) {
            QVariantMap record{{"urlDownload", download},
                               {"urlInstall", install},
                               {"guid", guid},
                               {"pubDateRemote", day.addSecs(later)},
                               {"exists", exists}}; // none reads as false
            if (later != -1000)
                record.insert("pubDateInstall", day);
            QTest::newRow(name) << record << state << launchable;
        };
        const QString web = "http://h/Castle.zip", dir = "file:///levels/Castle/";
        row("built-in level", "", "", 0, {}, "", NotDownloadable, true);
        row("downloadable, not installed", web, "", 0, {}, "g1", NotInstalled, false);
        row("remote one second later", web, dir, 1, true, "g1", UpdateAvailable, true);
        row("equal dates", web, dir, 0, true, "g1", UpToDate, true);
        row("no install date", web, dir, -1000, true, "g1", UpToDate, true);
        row("folder gone", web, dir, 0, false, "g1", UpToDate, false);
    }
    void predicates()
    {
        QFETCH(QVariantMap, record);
        QFETCH(int, state);
        QFETCH(bool, launchable);
        QCOMPARE(QPair(int(checkInstall(record)), canLaunch(record)), QPair(state, launchable));
    }

    void installPathForZip_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("folder"); // empty: none
        QTest::newRow("plain") << "http://h/Castle.zip" << 0 << "Castle";
        QTest::newRow("numbered") << "http://h/Castle.zip" << 2 << "Castle2";
        QTest::newRow("negative") << "http://h/Castle.zip" << -1 << "Castle";
        QTest::newRow("two dots") << "http://h/a/Castle.old.zip" << 0 << "Castle.old";
        QTest::newRow("encoded slashes") << "http://h/a%2F..%2F..%2Fx.zip" << 0 << "x";
        QTest::newRow("only an extension") << "http://h/.zip" << 0 << ".zip";
        QTest::newRow("no last component") << "http://h/" << 0 << "";
        QTest::newRow("dot dot") << "http://h/a/.." << 0 << "";
    }
    void installPathForZip()
    {
        QFETCH(QString, archive);
        QFETCH(int, number);
        QFETCH(QString, folder);
        m_home->installGame();
        QCOMPARE(getInstallPathForZip(QUrl(archive), number),
                 folder.isEmpty()
                     ? QUrl()
                     : QUrl::fromLocalFile(m_home->gameLevelDir() + '/' + folder + '/'));
    }

    // Where no Trash can be made (its place is taken by a file) the level is removed for good,
    // and nothing strays into the current directory on the way.
    void moveToTrashFallsBackToRemoval()
    {
        m_home->createFile("data/Trash", "not a folder");
        const QString level = m_home->createLevel("Castle");
        QVERIFY(::moveToTrash(QUrl::fromLocalFile(level + '/')) && !QFileInfo::exists(level));
        QVERIFY(!QFileInfo::exists("files") && !QFileInfo::exists("info"));
    }
};

QTEST_GUILESS_MAIN(LocationsTest)
#include "LocationsTest.moc"
