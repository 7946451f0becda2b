#include "cells/DescriptionCell.h"
#include "install/StaleDownloads.h"
#include "platform/Contrast.h"
#include "platform/InstanceLock.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "preferences/PreferencesPanel.h"
#include "tests/launcher/LauncherFixture.h"
#include "transfer/DownloadStatus.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>

// The launcher window as a person meets it: a temporary home with the stand-in game, the
// real window definition, and clicks on the real widgets. Levels are found with the filter
// field; the counts line sits under the table; the download folder is cleaned up at start.
class LauncherTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    QLineEdit* filter() const { return window()->findChild<QLineEdit*>("levelFilter"); }

    // Sorted by name: Castle (installed, update published), Crème Brûlée (a feed's, not
    // installed), Ocean (installed from an archive in the download folder), Standard (selected
    // at start). Only Crème Brûlée's feed is named ("nordic mazes", which sorts after the other
    // feed's address, shown as its name); it is not due for a refresh.
    void startWithLevels()
    {
        UserDefaults::standard().setObject(
            QVariantList{
                QVariantMap{{"urlDownload", "http://127.0.0.1:9/nordic"},
                            {"name", "nordic mazes"},
                            {"format", "txt"},
                            {"nextCheckDate", QDateTime::currentDateTimeUtc().addDays(1)}}},
            "source");
        const QString other = "http://127.0.0.1:9/other";
        QVariantMap castle = installedLevel("Castle"), ocean = installedLevel("Ocean");
        castle.insert(
            {{"author", "Ann"}, {"description", "Towers and moats"}, {"urlSource", other}});
        ocean.insert({{"author", "BOB"},
                      {"description", "Deep \uFB01sh"},
                      {"urlSource", other},
                      {"urlZip", QUrl::fromLocalFile(downloads() + "/Ocean.zip").toString()}});
        ocean.remove("urlDownload");
        home().writeCatalogue({castle, ocean,
                               QVariantMap{{"name", "Crème Brûlée"},
                                           {"guid", "creme"},
                                           {"author", "Zoë"},
                                           {"description", "A sweet maze"},
                                           {"urlSource", "http://127.0.0.1:9/nordic"},
                                           {"urlDownload", "http://127.0.0.1:9/nordic.zip"}}});
        start();
    }

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
        QCOMPARE(selectionState().join(' '), selected);
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
        QCOMPARE(selectedName(), QStringLiteral("Alpha"));
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
        QCOMPARE((QList<int>{code, window()->width(), window()->height(), header->sectionSize(0)}),
                 (QList<int>{0, 700, 410, 222}));
        QCOMPARE(names().join(','), QStringLiteral("Standard,Beta,Alpha"));
    }

    // Each kind of row played, by a double-click or by Return: the sheet, whether the row is
    // now red, the game's runs, the stored selection, the row selected after and the launch
    // button. "removed" takes the folder away after the start; without a game, or with one that
    // fails to start, the sheet says where the launcher looked.
    void rows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QStringList>("outcome");
        const auto row = [](const char* tag, const char* gesture, const QStringList& outcome,
                            const char* name = nullptr) {
            QTest::newRow(tag) << (name ? name : tag) << gesture << outcome;
        };
        const QString missing = "The level is missing!";
        row("Standard", "double-click", {"", "no", "()", "", "Standard", "on"});
        row("Remote", "double-click", {"", "no", "", "", "Remote", "off"});
        row("Old", "Return", {"", "no", "(custom Old)", "Old", "Old", "on"});
        row("Vanished", "double-click", {missing, "yes", "", "", "Vanished", "off"});
        row("Current", "removed", {missing, "yes", "", "", "Current", "off"});
        row("no game", "org.quillmor.Quillmor.desktop",
            {"Quillmor was not found.", "no", "", "", "Standard", "on"}, "Standard");
        row("game fails", "/nonexistent/quillmor",
            {"Quillmor could not be started.", "no", "", "", "Old", "on"}, "Old");
    }
    void rows()
    {
        QFETCH(QString, name);
        QFETCH(QString, gesture);
        QFETCH(QStringList, outcome);
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
            QTest::keyClick(table(), Qt::Key_Return), waitForGame();
        else
            doubleClickRow(name);
        QStringList seen{answerSheet()};
        QVERIFY2(!noGame || informative().contains(gesture), qPrintable(informative()));
        const QColor drawn =
            model()->index(rowOf(name), 0).data(Qt::ForegroundRole).value<QColor>();
        const bool red = drawn.isValid() && drawn.hslHue() == 0 && drawn.hslSaturation() > 0;
        seen << (red ? "yes" : "no") << gamesPlayed()
             << UserDefaults::standard().objectForKey("lastSelection").toString()
             << selectionState();
        const QStringList facts{"sheet",         "drawn red", "games played",
                                "lastSelection", "selected",  "launch button"};
        QCOMPARE(labelled(facts, seen.replaceInStrings(folderUrl(name), name)),
                 labelled(facts, outcome));
    }

    // What a glance and a screen reader take from the window: each level's status, the missing
    // level's colour against the rows in a light and a dark palette, and texts that no
    // accessible name hides (the counts line read as it reads, and reached by Tab).
    void readsRight()
    {
        writeMixedCatalogue();
        start();
        QStringList status;
        for (const QString& name : names())
            status
                << name + ": " +
                       model()->index(rowOf(name), model()->columnOf("status")).data().toString();
        QCOMPARE(status.join(", "), "Current: Installed, Found: Installed, Old: Update available, "
                                    "Remote: Available, "
                                    "Standard: Built in, Vanished: Missing");
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
        dark.setColor(QPalette::AlternateBase, QColor(0x38, 0x38, 0x38));
        for (const QPalette& palette : {light, dark}) {
            QApplication::setPalette(palette);
            const auto colour = model()->index(rowOf("Vanished"), 0).data(Qt::ForegroundRole);
            for (const auto role : {QPalette::Base, QPalette::AlternateBase})
                QVERIFY(contrastRatio(colour.value<QColor>(), palette.color(role)) >= 4.5);
        }
        QApplication::setPalette(light);

        QStringList hidden;
        for (QWidget* top : {static_cast<QWidget*>(window()),
                             static_cast<QWidget*>(launcher()->preferenceSheet())}) {
            for (const QWidget* widget : top->findChildren<QWidget*>()) {
                const auto* button = qobject_cast<const QAbstractButton*>(widget);
                const auto* label = qobject_cast<const QLabel*>(widget);
                const QString text = button ? button->text() : label ? label->text() : QString();
                if (!widget->accessibleName().isEmpty() && !text.isEmpty() &&
                    widget->accessibleName() != QString(text).remove('&'))
                    hidden << widget->objectName();
            }
        }
        QCOMPARE(hidden.join(", "), "");
        QLabel* counts = launcher()->levelCountsLabel();
        QCOMPARE(QAccessible::queryAccessibleInterface(counts)->text(QAccessible::Name),
                 counts->text());
        QVERIFY(counts->focusPolicy() & Qt::TabFocus);
        // However wide the other columns, the description keeps room for its buttons.
        const int description = model()->columnOf("description");
        for (int column = 0; column < model()->columnCount(); ++column)
            table()->horizontalHeader()->resizeSection(column, column == description ? 1 : 600);
        const auto* cell =
            qobject_cast<DescriptionCell*>(table()->itemDelegateForColumn(description));
        QTRY_VERIFY(table()->columnWidth(description) >= cell->buttonsWidth(table()));
    }

    // While the game runs the window is disabled, not frozen: a second double-click starts
    // nothing, closing it is refused (it would end the game), and it comes back when the game
    // ends.
    void windowDisabledWhileGameRuns()
    {
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "1000");
        start();
        clickRow("Standard");
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, rowPoint("Standard"));
        QTRY_VERIFY(launcher()->isPlaying() && !window()->isEnabled());
        const bool kept = !window()->close();
        doubleClickRow("Standard");
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "200");
        QVERIFY(kept && window()->isEnabled() && gameLog() == QStringList{""});
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
        auto* menu = window()->findChild<QMenu*>("levelsMenu");
        menu->popup(QPoint()); // the menu shows the item disabled meanwhile
        QVERIFY(!command->isEnabled());
        menu->hide();
        launcher()->downloadStatus()->cancel();
        menu->popup(QPoint());
        menu->hide();
        command->trigger();
        QTRY_VERIFY(launcher()->preferenceSheet()->isVisible());
    }

    // Gestures, ';' apart: click a row, type into the field (Ctrl+F), Escape, sort by a column
    // (name by default), Delete the selected level, put the focus on Update All, press Return
    // where the focus is. A row the filter hides hands the selection to the nearest shown one.
    void find_data()
    {
        QTest::addColumn<QString>("gestures");
        // selected, launch button, shown; then the game's runs, the counts line, and Update All,
        // "on" in every row
        QTest::addColumn<QStringList>("outcome");
        const QString all = "Castle, Crème Brûlée, Ocean, Standard";
        const auto row = [](const char* tag, const char* gestures, QStringList outcome,
                            const char* games = "",
                            QString line = "2 levels installed, 1 update available") {
            // While the filter is on, the line first says how many rows it shows of the four.
            if (QString(gestures).contains("type") && !QString(gestures).contains("escape"))
                line.prepend(QString("Showing %1 of 4 — ")
                                 .arg(outcome[2].startsWith("No") ? 0 : outcome[2].count(',') + 1));
            QTest::newRow(tag) << gestures << (outcome << games << line << "on");
        };
        row("name, other case", "type CASTLE", {"Castle", "on", "Castle"});
        row("name, accents left out", "type creme brulee", {"Crème Brûlée", "off", "Crème Brûlée"});
        row("author", "type zoe", {"Crème Brûlée", "off", "Crème Brûlée"});
        row("description, ligature", "type fish", {"Ocean", "on", "Ocean"});
        row("source", "type /other", {"Ocean", "on", "Castle, Ocean"});
        row("not across columns", "type castleann", {"", "off", "No levels match \"castleann\""});
        row("selected row shown", "click Ocean;type fish", {"Ocean", "on", "Ocean"});
        row("Escape shows every row", "click Castle;type ocean;escape", {"Ocean", "on", all});
        row("Return plays the row filtered to", "type CASTLE;return", {"Castle", "on", "Castle"},
            "(custom Castle)");
        row("Return on a button plays nothing", "click Castle;focus;return", {"Castle", "on", all});
        row("re-sort keeps the filter", "click Ocean;type an;sort",
            {"Ocean", "on", "Standard, Ocean, Castle"});
        row("sorted by the feed names shown", "sort source",
            {"Standard", "on", "Standard, Castle, Ocean, Crème Brûlée"});
        row("sorted by status", "sort status",
            {"Standard", "on", "Castle, Ocean, Standard, Crème Brûlée"});
        row("delete in a filtered table", "type fish;click Ocean;delete", {"Ocean", "off", "Ocean"},
            "", "1 level installed, 1 update available");
    }
    void find()
    {
        QFETCH(QString, gestures);
        QFETCH(QStringList, outcome);
        startWithLevels();
        for (const QString& gesture : gestures.split(';')) {
            const QString argument = gesture.section(' ', 1);
            if (gesture.startsWith("click")) {
                clickRow(argument);
            } else if (gesture.startsWith("type")) {
                QTest::keyClick(window(), Qt::Key_F, Qt::ControlModifier);
                QTRY_VERIFY(filter()->hasFocus());
                QTest::keyClicks(filter(), argument);
            } else if (gesture == "escape") {
                QTest::keyClick(filter(), Qt::Key_Escape);
            } else if (gesture.startsWith("sort")) {
                clickHeader(argument.isEmpty() ? QStringLiteral("name") : argument);
            } else if (gesture == "delete") {
                QTest::keyClick(table(), Qt::Key_Delete);
                answerSheet();
            } else if (gesture == "focus") {
                updateAllButton()->setFocus();
            } else if (gesture == "return") {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return), waitForGame();
            }
        }
        QStringList shown = names();
        shown.removeIf([this](const QString& name) { return table()->isRowHidden(rowOf(name)); });
        // An empty table says why.
        for (const QLabel* said : table()->viewport()->findChildren<QLabel*>())
            shown << (said->isVisible() ? said->text() : QString());
        shown.removeAll(QString());
        const QStringList facts{"selected",     "launch button", "shown",
                                "games played", "counts line",   "Update All"};
        QCOMPARE(labelled(facts, selectionState()
                                     << shown.join(", ") << gamesPlayed()
                                     << launcher()->levelCountsLabel()->text()
                                     << (updateAllButton()->isEnabled() ? "on" : "off")),
                 labelled(facts, outcome));
    }

    // Partial downloads go, but for a week not one of an archive in use, which is resumed.
    void staleDownloadsAtStart()
    {
        for (const char* name :
             {"Castle.zip", "Ocean.zip", "old.zip", "Ocean.zip.download", "old.zip.download"})
            home().createFile(downloads() + u'/' + name, "zip");
        home().createFile(downloads() + "/Castle.zip.download", "zip",
                          QDateTime::currentDateTimeUtc().addDays(-8));
        startWithLevels();
        QCOMPARE(home().trashed() + " | " + QDir(downloads()).entryList(QDir::Files).join(' '),
                 QStringLiteral("old.zip | Castle.zip Ocean.zip Ocean.zip.download"));
    }

    // A catalogue that cannot be written (a folder in its place): the failed save is told with
    // its reason and the change kept; closing the window saves it, and asks before the launcher
    // ends without it.
    void unsavedCatalogueTold()
    {
        writeMixedCatalogue();
        start();
        const QString catalogue = home().cataloguePath();
        QFile::remove(catalogue), home().createDir(catalogue);
        clickRow("Found");
        QTest::keyClick(table(), Qt::Key_Delete);
        answerSheet(); // the deletion confirmed
        QVERIFY(sheetUp());
        QStringList seen{answerSheet(), informative().section(':', 0, 0)};
        window()->close();
        QVERIFY(sheetUp());
        seen << answerSheet("Cancel") << (window()->isVisible() ? "open" : "closed");
        QDir(catalogue).removeRecursively();
        window()->close();
        seen << (window()->isVisible() ? "open" : "closed");
        QCOMPARE(seen.join(" | "),
                 "The level catalogue could not be saved. | " + catalogue +
                     " | The level catalogue could not be saved. | open | closed");
        QCOMPARE(PropertyList::readFile(catalogue).value_or(0).toList().size(), 5);
    }

    // Problems met reading the catalogue at start-up are told on the window once it is up.
    void damagedCatalogueTold()
    {
        home().createFile(home().cataloguePath(), "<plist><array><dict>");
        start();
        QVERIFY(sheetUp());
        QCOMPARE(answerSheet(), "The level catalogue could not be read.");
        QVERIFY(informative().contains(home().cataloguePath() + ".unreadable"));
    }

    // A second launcher on a home one already owns, with no bus to reach it through, says so
    // and touches nothing: not the first one's download in progress, nor its catalogue.
    void secondCopyChangesNothing()
    {
        const QString partial = home().createFile(downloads() + "/Castle.zip.download", "part");
        const InstanceLock first(home().applicationDir() + "/launcher.lock");
        QVERIFY(first.isHeld());
        QProcess second;
        // No session bus to hand over through.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        second.setProcessEnvironment(environment);
        second.start(qEnvironmentVariable("QUILLMOR_BUILD_DIR") + "/quillmor-launcher");
        QByteArray said;
        QTRY_VERIFY((said += second.readAllStandardError()).contains("already running"));
        second.kill();
        second.waitForFinished();
        QVERIFY(QFileInfo::exists(partial) && !QFileInfo::exists(home().cataloguePath()));
    }

    // The file a transfer writes stays, whatever its name says, and so does its resume state.
    void staleDownloadsSpareTheRunningTransfer()
    {
        for (const char* name :
             {"a.zip", "b.zip", "b.zip.download", "b.zip.download.plist", "c.zip.download.plist"})
            home().createFile(QStringLiteral("dl/") + name);
        QCOMPARE(
            chooseStaleDownloads(home().filePath("dl"), {"a.zip"},
                                 {home().filePath("dl/b.zip.download")}),
            (QStringList{home().filePath("dl/b.zip"), home().filePath("dl/c.zip.download.plist")}));
    }
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
