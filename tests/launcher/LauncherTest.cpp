#include "platform/UserDefaults.h"
#include "preferences/PreferencesPanel.h"
#include "tests/launcher/LauncherFixture.h"
#include "transfer/DownloadStatus.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
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

    void startSelection_data()
    {
        QTest::addColumn<QString>("lastSelection"); // a level folder's name
        QTest::addColumn<QString>("selected");
        QTest::newRow("first start") << QString() << QString("Standard on");
        QTest::newRow("last launched, sorted last") << QString("Zulu") << QString("Zulu on");
        QTest::newRow("level deleted since") << QString("Gone") << QString(" off");
    }
    void startSelection()
    {
        QFETCH(QString, lastSelection);
        QFETCH(QString, selected);
        home().createLevel("Zulu");
        home().createLevel("Alpha");
        if (!lastSelection.isEmpty())
            UserDefaults::standard().setObject(folderUrl(lastSelection), "lastSelection");
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

    // Each kind of row played, by a double-click or by Return: the sheet (and whether the row
    // is now red), the game's runs, the stored selection and the row selected after. "removed"
    // takes the folder away after the start; without a game, or with one that fails to start,
    // the sheet says where the launcher looked.
    void rows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* tag, const char* gesture, const char* outcome,
                            const char* name = nullptr) {
            QTest::newRow(tag) << (name ? name : tag) << gesture << outcome;
        };
        row("Standard", "double-click", " | () |  | Standard on");
        row("Remote", "double-click", " | () |  | Remote off");
        row("Old", "Return", " | (custom Old) | Old | Old on");
        row("Vanished", "double-click", "The level is missing! red |  |  | Vanished off");
        row("Current", "removed", "The level is missing! red |  |  | Current off");
        row("no game", "org.quillmor.Quillmor.desktop",
            "Quillmor was not found. |  |  | Standard on", "Standard");
        row("game fails", "/nonexistent/quillmor",
            "Quillmor could not be started. |  |  | Standard on", "Standard");
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
        clickRow(name);
        if (gesture == "removed")
            QDir(home().gameLevelDir() + '/' + name).removeRecursively();
        if (gesture == "Return")
            QTest::keyClick(table(), Qt::Key_Return);
        else
            doubleClickRow(name);
        QStringList seen{answerSheet()};
        QVERIFY2(!noGame || informative().contains(gesture), qPrintable(informative()));
        if (model()->index(rowOf(name), 0).data(Qt::ForegroundRole) == QColor(Qt::red))
            seen.last() += " red";
        const QStringList runs = gameLog();
        seen << (runs.isEmpty() ? "" : "(" + runs.join(")(") + ")")
             << UserDefaults::standard().objectForKey("lastSelection").toString()
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
        HttpFixture::Response stalled = HttpFixture::answer(200, QByteArray(1000, 'x'));
        stalled.stallAfter = 10;
        http().setResponse("/feed.rss", stalled);
        start();
        auto* command = window()->findChild<QAction*>("actionPreferences");
        launcher()->downloadStatus()->loadData(http().url("/feed.rss"), window(), {});
        command->trigger(); // as a shortcut would, past the menu
        QVERIFY(!launcher()->preferenceSheet()->isVisible());
        launcher()->downloadStatus()->cancel();
        command->trigger();
        QTRY_VERIFY(launcher()->preferenceSheet()->isVisible());
    }
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
