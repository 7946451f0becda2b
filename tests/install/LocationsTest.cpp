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

namespace {

QVariantMap entry(std::initializer_list<std::pair<const char*, QVariant>> values)
{
    QVariantMap map;
    for (const auto& [key, value] : values)
        map.insert(QString::fromLatin1(key), value);
    return map;
}

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
        m_home->setInfoPlist({{QStringLiteral("BundleIdentifier"), QStringLiteral("org.quillmor.Launcher")},
                              {QStringLiteral("QuillmorBundleIdentifier"), QStringLiteral("org.other.Game")}});
        QVERIFY(!getGameBundle());
        m_home->setInfoPlist({{QStringLiteral("BundleIdentifier"), QStringLiteral("org.quillmor.Launcher")}});
        QVERIFY(!getGameBundle());
    }

    void urlForKey_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QUrl>("expected");
        QTest::newRow("missing") << QVariantMap() << QUrl();
        QTest::newRow("empty") << entry({{"urlDownload", QString()}}) << QUrl();
        QTest::newRow("web") << entry({{"urlDownload", QStringLiteral("http://h/a%20b.zip")}})
                             << QUrl(QStringLiteral("http://h/a b.zip"));
        QTest::newRow("directory url")
            << entry({{"urlDownload", QStringLiteral("file:///levels/Castle/")}})
            << QUrl(QStringLiteral("file:///levels/Castle/"));
        QTest::newRow("unparsable") << entry({{"urlDownload", QStringLiteral("http://[bad")}})
                                    << QUrl();
    }

    void urlForKey()
    {
        QFETCH(QVariantMap, record);
        QFETCH(QUrl, expected);
        const QUrl url = ::urlForKey(record, QStringLiteral("urlDownload"));
        QCOMPARE(url, expected);
        if (url.isLocalFile())
            QCOMPARE(QDir::cleanPath(url.toLocalFile()), QStringLiteral("/levels/Castle"));
    }

    void checkInstall_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<int>("state");
        const QString web = QStringLiteral("http://h/Castle.zip");
        const QString folder = QStringLiteral("file:///levels/Castle/");
        QTest::newRow("no download, installed")
            << entry({{"urlInstall", folder}}) << int(NotDownloadable);
        QTest::newRow("download, urlInstall empty")
            << entry({{"urlDownload", web}, {"urlInstall", QString()}}) << int(NotInstalled);
        QTest::newRow("remote one second later")
            << entry({{"urlDownload", web}, {"urlInstall", folder}, {"pubDateInstall", kDay},
                      {"pubDateRemote", kDay.addSecs(1)}})
            << int(UpdateAvailable);
        QTest::newRow("equal dates")
            << entry({{"urlDownload", web}, {"urlInstall", folder}, {"pubDateInstall", kDay},
                      {"pubDateRemote", kDay}})
            << int(UpToDate);
        QTest::newRow("remote earlier")
            << entry({{"urlDownload", web}, {"urlInstall", folder}, {"pubDateInstall", kDay},
                      {"pubDateRemote", kDay.addSecs(-60)}})
            << int(UpToDate);
        QTest::newRow("no remote date")
            << entry({{"urlDownload", web}, {"urlInstall", folder}, {"pubDateInstall", kDay}})
            << int(UpToDate);
        QTest::newRow("same instant, other zone")
            << entry({{"urlDownload", web}, {"urlInstall", folder}, {"pubDateInstall", kDay},
                      {"pubDateRemote", kDay.toOffsetFromUtc(3600)}})
            << int(UpToDate);
    }

    void checkInstall()
    {
        QFETCH(QVariantMap, record);
        QFETCH(int, state);
        QCOMPARE(int(::checkInstall(record)), state);
    }

    void canLaunch_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<bool>("expected");
        const QString folder = QStringLiteral("file:///levels/Castle/");
        QTest::newRow("installed, exists false")
            << entry({{"urlInstall", folder}, {"exists", false}}) << false;
        QTest::newRow("installed, no exists") << entry({{"urlInstall", folder}}) << false;
        QTest::newRow("installed, exists") << entry({{"urlInstall", folder}, {"exists", true}})
                                           << true;
        QTest::newRow("built-in") << entry({{"urlInstall", QString()}, {"guid", QString()}})
                                  << true;
        QTest::newRow("no keys at all") << QVariantMap() << true;
        QTest::newRow("feed level, not installed")
            << entry({{"urlInstall", QString()}, {"guid", QStringLiteral("g1")}}) << false;
    }

    void canLaunch()
    {
        QFETCH(QVariantMap, record);
        QFETCH(bool, expected);
        QCOMPARE(::canLaunch(record), expected);
    }

    void installPathForZip_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QStringLiteral("http://h/Castle.zip") << 0 << QStringLiteral("Castle");
        QTest::newRow("numbered") << QStringLiteral("http://h/Castle.zip") << 2 << QStringLiteral("Castle2");
        QTest::newRow("negative") << QStringLiteral("http://h/Castle.zip") << -1 << QStringLiteral("Castle");
        QTest::newRow("two dots") << QStringLiteral("http://h/a/Castle.old.zip") << 0
                                  << QStringLiteral("Castle.old");
        QTest::newRow("no extension") << QStringLiteral("file:///tmp/Castle") << 3
                                      << QStringLiteral("Castle3");
        QTest::newRow("query ignored") << QStringLiteral("http://h/get/Moor.zip?id=4") << 0
                                       << QStringLiteral("Moor");
        QTest::newRow("encoded space") << QStringLiteral("http://h/Green%20Moor.zip") << 0
                                       << QStringLiteral("Green Moor");
        QTest::newRow("no last component") << QStringLiteral("http://h/") << 0 << QString();
        QTest::newRow("no path") << QStringLiteral("http://h") << 0 << QString();
        QTest::newRow("only an extension") << QStringLiteral("http://h/.zip") << 0
                                           << QStringLiteral(".zip");
        QTest::newRow("dot dot") << QStringLiteral("http://h/a/..") << 0 << QString();
        QTest::newRow("encoded slashes") << QStringLiteral("http://h/a%2F..%2F..%2Fx.zip") << 0
                                         << QStringLiteral("x");
    }

    void installPathForZip()
    {
        QFETCH(QString, archive);
        QFETCH(int, number);
        QFETCH(QString, folder);
        m_home->installGame();
        const QUrl url = getInstallPathForZip(QUrl(archive), number);
        if (folder.isEmpty()) {
            QVERIFY(!url.isValid());
            return;
        }
        QCOMPARE(url, QUrl::fromLocalFile(m_home->gameLevelDir() + u'/' + folder + u'/'));
        QVERIFY(url.toString().endsWith(u'/'));
        QVERIFY(!QFileInfo::exists(url.toLocalFile()));
    }

    void checkLevelExists_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("expected");
        QTest::newRow("marker file") << QStringLiteral("file") << true;
        QTest::newRow("marker folder") << QStringLiteral("folder") << true;
        QTest::newRow("no marker") << QStringLiteral("empty") << false;
        QTest::newRow("no folder") << QStringLiteral("none") << false;
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
        const QString archive = m_home->createFile(QStringLiteral("data/org.quillmor.Launcher/Download/Castle.zip"), "zip");
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
        QCOMPARE(alert->informativeText(),
                 QStringLiteral("The level \"Ember Keep\" was installed and added to the launch menu."));
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(alert->buttons().first()->text(), QStringLiteral("OK"));
        alert->buttons().first()->click();
        QTRY_VERIFY(!window.findChild<QMessageBox*>());
    }

    void standInGameHonoursItsCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("built-in level") << QStringList();
        QTest::newRow("custom level") << QStringList{QStringLiteral("custom"), QStringLiteral("Ember Keep")};
    }

    void standInGameHonoursItsCommandLine()
    {
        QFETCH(QStringList, arguments);
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
