// Locations and entry predicates in a temporary home, with and without the game installed.

#include "install/Locations.h"
#include "platform/PropertyList.h"
#include "tests/support/TestHome.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QTest>

#include <memory>
#include <optional>

namespace {

const QDateTime kDay(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

} // namespace

class LocationsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;

private slots:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void locationsWithoutTheGame()
    {
        QVERIFY(!getGameBundle());
        QVERIFY(!getGameLevelDir());
        QVERIFY(!getInstallPathForZip(QUrl(QStringLiteral("http://x/Castle.zip")), 0).isValid());
        QVERIFY(!QFileInfo::exists(m_home->dataHome() + QStringLiteral("/org.quillmor.Quillmor")));

        // The launcher's own folders do not need the game.
        QCOMPARE(getApplicationDir().value(), m_home->applicationDir());
        QCOMPARE(getDownloadDir().value(), m_home->applicationDir() + QStringLiteral("/Download"));
        QVERIFY(QFileInfo(m_home->applicationDir() + QStringLiteral("/Download")).isDir());
    }

    void locationsWithTheGame()
    {
        m_home->installGame();
        const auto game = getGameBundle();
        QVERIFY(game);
        QCOMPARE(game->bundleIdentifier(), QStringLiteral("org.quillmor.Quillmor"));
        QCOMPARE(game->executablePath(), TestHome::builtGamePath());
        QVERIFY(!QFileInfo::exists(m_home->gameLevelDir()));
        QCOMPARE(getGameLevelDir().value(), m_home->gameLevelDir());
        QVERIFY(QFileInfo(m_home->gameLevelDir()).isDir());

        // A folder the user removed comes back on the next call.
        QDir(m_home->gameLevelDir()).removeRecursively();
        QCOMPARE(getGameLevelDir().value(), m_home->gameLevelDir());
        QVERIFY(QFileInfo(m_home->gameLevelDir()).isDir());
    }

    void gameFromAnotherInfoPlist()
    {
        m_home->installGame();
        m_home->setInfoPlist(
            {{QStringLiteral("BundleIdentifier"), QStringLiteral("org.quillmor.Launcher")},
             {QStringLiteral("QuillmorBundleIdentifier"), QStringLiteral("org.other.Game")}});
        QVERIFY(!getGameBundle());
        m_home->setInfoPlist(
            {{QStringLiteral("BundleIdentifier"), QStringLiteral("org.quillmor.Launcher")}});
        QVERIFY(!getGameBundle());
    }

    void urlForKey_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QUrl>("expected");
        QTest::newRow("missing") << QVariantMap() << QUrl();
        QTest::newRow("empty") << QVariantMap{{"urlDownload", ""}} << QUrl();
        QTest::newRow("web") << QVariantMap{{"urlDownload", "http://h/a%20b.zip"}}
                             << QUrl("http://h/a b.zip");
        QTest::newRow("folder") << QVariantMap{{"urlDownload", "file:///levels/Castle/"}}
                                << QUrl::fromLocalFile("/levels/Castle/");
        QTest::newRow("unparsable") << QVariantMap{{"urlDownload", "http://[bad"}} << QUrl();
    }

    void urlForKey()
    {
        QFETCH(QVariantMap, record);
        QFETCH(QUrl, expected);
        QCOMPARE(::urlForKey(record, QStringLiteral("urlDownload")), expected);
    }

    void predicates_data()
    {
        // Columns: urlDownload, urlInstall, pubDateRemote offset from pubDateInstall in
        // seconds (none when absent), exists, guid; then checkInstall and canLaunch.
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("launchable");
        const QString web = QStringLiteral("http://h/Castle.zip");
        const QString dir = QStringLiteral("file:///levels/Castle/");
        const auto row = [&](const char* name, QString download, QString install,
                             std::optional<int> later, QVariant exists, QString guid, int state,
                             bool launchable) {
            QVariantMap record{{"urlDownload", download},
                               {"urlInstall", install},
                               {"pubDateInstall", kDay},
                               {"guid", guid}};
            if (later)
                record.insert("pubDateRemote", kDay.addSecs(*later));
            if (exists.isValid())
                record.insert("exists", exists);
            QTest::newRow(name) << record << state << launchable;
        };
        row("installed, no download URL", "", dir, 0, true, "", NotDownloadable, true);
        row("downloadable, not installed", web, "", 0, {}, "g1", NotInstalled, false);
        row("remote one second later", web, dir, 1, true, "g1", UpdateAvailable, true);
        row("equal dates", web, dir, 0, true, "g1", UpToDate, true);
        row("no remote date", web, dir, std::nullopt, true, "g1", UpToDate, true);
        row("folder gone", web, dir, 0, false, "g1", UpToDate, false);
        row("no exists key", web, dir, 0, {}, "g1", UpToDate, false);
        row("built-in level", "", "", 0, {}, "", NotDownloadable, true);
        QTest::newRow("no install date")
            << QVariantMap{{"urlDownload", web}, {"urlInstall", dir}, {"pubDateRemote", kDay},
                           {"exists", true}, {"guid", "g1"}}
            << int(UpToDate) << true;
    }

    void predicates()
    {
        QFETCH(QVariantMap, record);
        QFETCH(int, state);
        QFETCH(bool, launchable);
        QCOMPARE(int(checkInstall(record)), state);
        QCOMPARE(canLaunch(record), launchable);
    }

    void installPathForZip_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "http://h/Castle.zip" << 0 << "Castle";
        QTest::newRow("numbered") << "http://h/Castle.zip" << 2 << "Castle2";
        QTest::newRow("negative") << "http://h/Castle.zip" << -1 << "Castle";
        QTest::newRow("two dots") << "http://h/a/Castle.old.zip" << 0 << "Castle.old";
        QTest::newRow("no extension") << "file:///tmp/Castle" << 3 << "Castle3";
        QTest::newRow("query ignored") << "http://h/get/Moor.zip?id=4" << 0 << "Moor";
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
        const QUrl url = getInstallPathForZip(QUrl(archive), number);
        const QUrl expected =
            folder.isEmpty() ? QUrl()
                             : QUrl::fromLocalFile(m_home->gameLevelDir() + '/' + folder + '/');
        QCOMPARE(url, expected);
        QVERIFY(!url.isValid() || url.toString().endsWith(u'/'));
        QVERIFY(!url.isValid() || !QFileInfo::exists(url.toLocalFile()));
    }

    void checkLevelExists_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("expected");
        QTest::newRow("marker file") << QStringLiteral("file") << true;
        QTest::newRow("marker folder") << QStringLiteral("folder") << true;
        QTest::newRow("no marker") << QStringLiteral("empty") << false;
    }

    void checkLevelExists()
    {
        QFETCH(QString, layout);
        QFETCH(bool, expected);
        const QString folder = m_home->filePath(QStringLiteral("Levels/Castle"));
        if (layout == u"file")
            m_home->createFile(folder + QStringLiteral("/levellist.dat"));
        else if (layout == u"folder")
            m_home->createDir(folder + QStringLiteral("/levellist.dat"));
        else if (layout == u"empty")
            m_home->createDir(folder);
        QCOMPARE(::checkLevelExists(QUrl::fromLocalFile(folder + u'/')), expected);
    }

    void moveToTrash()
    {
        QVERIFY(!::moveToTrash(QUrl::fromLocalFile(m_home->filePath(QStringLiteral("absent")))));
        QVERIFY(!::moveToTrash(QUrl(QStringLiteral("http://h/Castle.zip"))));

        const QString level = m_home->createLevel(QStringLiteral("Castle"));
        const QString archive = m_home->createFile(
            QStringLiteral("data/org.quillmor.Launcher/Download/Castle.zip"), "zip");
        QVERIFY(::moveToTrash(QUrl::fromLocalFile(level + u'/')));
        QVERIFY(::moveToTrash(QUrl::fromLocalFile(archive)));
        QVERIFY(!QFileInfo::exists(level));
        QVERIFY(!QFileInfo::exists(archive));
        const QString trash = m_home->dataHome() + QStringLiteral("/Trash/files/");
        QVERIFY(QFileInfo::exists(trash + QStringLiteral("Castle/levellist.dat")));
        QVERIFY(QFileInfo::exists(trash + QStringLiteral("Castle.zip")));
    }

    void moveToTrashFallsBackToRemoval()
    {
        // A Trash that cannot be made (its place is taken by a file) leaves removal for good.
        m_home->createFile(QStringLiteral("data/Trash"), "not a folder");
        const QString level = m_home->createLevel(QStringLiteral("Castle"));
        QVERIFY(::moveToTrash(QUrl::fromLocalFile(level)));
        QVERIFY(!QFileInfo::exists(level));
        // Nothing strays into the current directory on the way.
        QVERIFY(!QFileInfo::exists(QStringLiteral("info")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("files")));
    }

    void installSuccessfulAlert()
    {
        QMainWindow window;
        window.show();
        showInstallSuccessfulAlert(&window, QStringLiteral("Ember Keep"));
        auto* alert = window.findChild<QMessageBox*>();
        QVERIFY(alert);
        QVERIFY(alert->isVisible());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(alert->text(), QStringLiteral("New level installed!"));
        QCOMPARE(
            alert->informativeText(),
            QStringLiteral("The level \"Ember Keep\" was installed and added to the launch menu."));
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(alert->buttons().first()->text(), QStringLiteral("OK"));
        alert->buttons().first()->click();
        QTRY_VERIFY(!window.findChild<QMessageBox*>());
    }

    void standInGameHonoursItsCommandLine()
    {
        const QStringList arguments{QStringLiteral("custom"), QStringLiteral("Ember Keep")};
        m_home->createLevel(QStringLiteral("Ember Keep"));
        const QString log = m_home->filePath(QStringLiteral("game.log"));
        QProcess game;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUILLMOR_GAME_LOG"), log);
        env.insert(QStringLiteral("QUILLMOR_GAME_QUIT_AFTER"), QStringLiteral("50"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        game.setProcessEnvironment(env);
        game.start(TestHome::builtGamePath(), arguments);
        QVERIFY(game.waitForFinished(20000));
        QCOMPARE(game.exitCode(), 0);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), arguments.join(u' ').toUtf8() + '\n');
    }
};

QTEST_MAIN(LocationsTest)
#include "LocationsTest.moc"
