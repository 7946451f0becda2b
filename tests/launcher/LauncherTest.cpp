#include "platform/UserDefaults.h"
#include "preferences/PreferencesPanel.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/HttpFixture.h"
#include "transfer/DownloadStatus.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>

// The launcher window as a person meets it: a temporary home with the stand-in game, the
// real window definition, and clicks on the real widgets.
class LauncherTest : public QObject, private LauncherFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void everythingConnectedBeforeWaking()
    {
        home().createLevel("Alpha");
        instantiate();
        const bool connected = launcher()->database() == definition()->database() &&
                               launcher()->repositories() == definition()->repositories() &&
                               launcher()->downloadStatus() && launcher()->lauchQuillmorButton() &&
                               launcher()->preferenceSheet() && launcher()->levelTable() &&
                               launcher()->window() &&
                               !launcher()->levelMenuItems().contains(nullptr);
        QVERIFY(connected && model()->rowCount() == 0);
        definition()->awake();
        QCOMPARE(model()->rowCount(), 2);
    }

    void startSelection_data()
    {
        QTest::addColumn<QString>("lastSelection"); // a level folder's name, or a stored text
        QTest::addColumn<QString>("selected");
        QTest::newRow("first start") << QString() << QString("Standard on");
        QTest::newRow("last launched, sorted last") << QString("Zulu") << QString("Zulu on");
        QTest::newRow("level deleted since") << QString("Gone") << QString(" off");
        QTest::newRow("not a URL") << QString("http://[::1") << QString(" off");
    }
    void startSelection()
    {
        QFETCH(QString, lastSelection);
        QFETCH(QString, selected);
        home().createLevel("Zulu");
        home().createLevel("Alpha");
        if (!lastSelection.isEmpty())
            UserDefaults::standard().setObject(
                lastSelection.contains(u'[') ? lastSelection : folderUrl(lastSelection),
                "lastSelection");
        start();
        QCOMPARE(selectionState(), selected);
    }

    // A header click keeps the selected level selected; the order it chose comes back after
    // the window is closed and the launcher restarted, with the window's size and column widths,
    // rather than the "name" fallback.
    void windowStateRemembered()
    {
        home().createLevel("Beta");
        home().createLevel("Alpha");
        start();
        clickRow("Alpha");
        clickHeader("name");
        QStringList sorted{names().join(','), selectedName()};
        table()->horizontalHeader()->resizeSection(0, 222);
        window()->resize(700, 410);
        // Closing the window ends the application, as a person closes it.
        QApplication::setQuitOnLastWindowClosed(
            launcher()->applicationShouldTerminateAfterLastWindowClosed());
        QTimer::singleShot(0, window(), [this] { window()->close(); });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
        const int code = QApplication::exec();
        QApplication::setQuitOnLastWindowClosed(false);
        stop();
        start();
        const QHeaderView* header = table()->horizontalHeader();
        sorted << QString::number(code) << QString::number(window()->width())
               << QString::number(window()->height()) << QString::number(header->sectionSize(0))
               << QString::number(header->sortIndicatorSection() == model()->columnOf("name")) +
                      QString::number(header->sortIndicatorOrder());
        QCOMPARE(sorted.join(' '), "Standard,Beta,Alpha Alpha 0 700 410 222 11");
    }

    // Each kind of row: its cell's buttons, the row once clicked, then the level played: the
    // sheet (and the row now red in every column), the game's runs, the stored selection and
    // the row after. "removed" takes the folder away after the start, and brings it back for a
    // second try; without a game, or with one that fails to start, the sheet says where the
    // launcher looked.
    void rows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* tag, const char* gesture, const char* outcome,
                            const char* name = nullptr) {
            QTest::newRow(tag) << (name ? name : tag) << gesture << outcome;
        };
        row("Standard", "double-click", "www | Standard on |  | () |  | Standard on");
        row("Remote", "double-click", "install www | Remote off |  | () |  | Remote off");
        row("Old", "Return", "update www | Old on |  | (custom Old) | Old | Old on");
        row("Found", "double-click", " | Found on |  | (custom Found) | Found | Found on");
        row("Vanished", "double-click",
            "www | Vanished off | The level is missing! red |  |  | Vanished off");
        row("Current", "removed",
            "www | Current on | The level is missing! red | (custom Current) | Current | Current "
            "on");
        row("no game", "org.quillmor.Quillmor.desktop",
            "www | Standard on | Quillmor was not found. |  |  | Standard on", "Standard");
        row("game fails", "/nonexistent/quillmor",
            "www | Standard on | Quillmor could not be started. |  |  | Standard on", "Standard");
    }
    void rows()
    {
        QFETCH(QString, name);
        QFETCH(QString, gesture);
        QFETCH(QString, outcome);
        const bool noGame = gesture.contains('.') || gesture.startsWith('/');
        if (noGame)
            QFile::remove(home().dataHome() + "/applications/org.quillmor.Quillmor.desktop");
        if (gesture.startsWith('/'))
            home().installGame(gesture);
        writeMixedCatalogue();
        start();
        const DescriptionCell::Layout cell = cellLayout(name);
        clickRow(name);
        const QString buttons = QString(cell.install ? "install " : "") +
                                (cell.update ? "update " : "") + (cell.www ? "www" : "");
        QStringList seen{buttons, selectionState()};
        if (gesture == "removed")
            QDir(home().gameLevelDir() + '/' + name).removeRecursively();
        if (gesture == "Return")
            QTest::keyClick(table(), Qt::Key_Return);
        else
            doubleClickRow(name);
        QString informative;
        seen << answerSheet(&informative);
        QVERIFY2(!noGame || informative.contains(gesture), qPrintable(informative));
        bool red = true;
        for (int column = 0; column < model()->columnCount(); ++column)
            red &= model()->index(rowOf(name), column).data(Qt::ForegroundRole) == QColor(Qt::red);
        seen.last() += red ? " red" : "";
        if (gesture == "removed") {
            home().createLevel(name);
            doubleClickRow(name);
        }
        const QStringList runs = gameLog();
        seen << (runs.isEmpty() ? "" : "(" + runs.join(")(") + ")") << storedLastSelection()
             << selectionState();
        QCOMPARE(seen.join(" | ").replace(folderUrl(name), name), outcome);
    }

    // The launch waits for the game without blocking the window: a timer due while the game
    // runs fires then, not after.
    void windowServedWhileGameRuns()
    {
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "1500");
        start();
        bool served = false;
        QTimer::singleShot(700, table(), [&] {
            const auto* game = launcher()->findChild<QProcess*>("game");
            served = game && game->state() == QProcess::Running;
        });
        doubleClickRow("Standard");
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "200");
        QVERIFY(gameLog() == QStringList{""} && served);
    }

    // The preferences sheet never shares the download controller with a running transfer.
    void preferencesWaitForTransfers()
    {
        HttpFixture server;
        HttpFixture::Response stalled = HttpFixture::answer(200, QByteArray(1000, 'x'));
        stalled.stallAfter = 10;
        server.setResponse("/feed.rss", stalled);
        start();
        auto* command = window()->findChild<QAction*>("actionPreferences");
        launcher()->downloadStatus()->loadData(server.url("/feed.rss"), window(), {});
        command->trigger(); // as a shortcut would, past the menu
        const bool shownWhileLoading = launcher()->preferenceSheet()->isVisible();
        auto* menu = window()->findChild<QMenu*>("levelsMenu");
        menu->popup(QPoint());
        const bool enabledWhileLoading = command->isEnabled();
        menu->hide();
        launcher()->downloadStatus()->cancel();
        menu->popup(QPoint());
        menu->hide();
        QVERIFY(!shownWhileLoading && !enabledWhileLoading && command->isEnabled());
        command->trigger();
        QTRY_VERIFY(launcher()->preferenceSheet()->isVisible());
    }
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
