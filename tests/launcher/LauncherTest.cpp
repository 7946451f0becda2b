#include "cells/DescriptionCell.h"
#include "platform/UserDefaults.h"
#include "tests/launcher/LauncherFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

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
        Launcher* launcher = definition()->launcher();
        const bool connected = launcher->database() == definition()->database() &&
                               launcher->repositories() == definition()->repositories() &&
                               launcher->downloadStatus() && launcher->lauchQuillmorButton() &&
                               launcher->preferenceSheet() && launcher->levelTable() &&
                               launcher->window() && !launcher->levelMenuItems().contains(nullptr);
        QVERIFY(connected);
        QCOMPARE(definition()->levelModel()->rowCount(), 0);
        definition()->awake();
        QCOMPARE(definition()->levelModel()->rowCount(), 2);
    }

    void startSelection_data()
    {
        QTest::addColumn<QString>("lastSelection");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("launchEnabled");
        QTest::newRow("first start") << ""
                                     << "Standard" << true;
        QTest::newRow("last launched, sorted last") << "Zulu"
                                                    << "Zulu" << true;
        QTest::newRow("level deleted since") << "Gone"
                                             << "" << false;
        QTest::newRow("not a URL") << "http://[::1"
                                   << "" << false;
    }
    void startSelection()
    {
        QFETCH(QString, lastSelection);
        QFETCH(QString, selected);
        QFETCH(bool, launchEnabled);
        home().createLevel("Zulu");
        home().createLevel("Alpha");
        if (!lastSelection.isEmpty())
            UserDefaults::standard().setObject(
                lastSelection.contains(u'[') ? lastSelection : folderUrl(lastSelection),
                QStringLiteral("lastSelection"));
        start();
        QCOMPARE(selectedName(), selected);
        QCOMPARE(launcher()->lauchQuillmorButton()->isEnabled(), launchEnabled);
    }

    // The header's order survives a restart with the window's size and column widths: a
    // table that brings its own order keeps it rather than the "name" fallback.
    void windowStateRemembered()
    {
        home().createLevel("Beta");
        home().createLevel("Alpha");
        start();
        clickHeader("author");
        clickHeader("author");
        table()->horizontalHeader()->resizeSection(0, 222);
        window()->resize(700, 410);
        window()->close();
        stop();

        start();
        QCOMPARE(window()->size(), QSize(700, 410));
        QCOMPARE(table()->horizontalHeader()->sectionSize(0), 222);
        const QHeaderView* header = table()->horizontalHeader();
        QVERIFY(header->sortIndicatorSection() == model()->columnOf("author") &&
                header->sortIndicatorOrder() == Qt::DescendingOrder);
    }

    void headerClickKeepsTheSelectedLevel()
    {
        home().createLevel("Beta");
        home().createLevel("Alpha");
        start();
        clickRow("Beta");
        clickHeader("name");
        QCOMPARE(names(), QStringList({"Standard", "Beta", "Alpha"}));
        QCOMPARE(selectedName(), QStringLiteral("Beta"));
    }

    void rowsAndCells_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<bool>("launchEnabled");
        QTest::newRow("built-in level") << "Standard" << false << "www" << true;
        QTest::newRow("only downloadable") << "Remote" << false << "install www" << false;
        QTest::newRow("update waiting") << "Old" << false << "update" << true;
        QTest::newRow("up to date") << "Current" << false << "" << true;
        QTest::newRow("folder gone") << "Vanished" << true << "" << false;
    }
    void rowsAndCells()
    {
        QFETCH(QString, name);
        QFETCH(bool, red);
        QFETCH(QString, buttons);
        QFETCH(bool, launchEnabled);
        writeMixedCatalogue();
        start();
        const int row = int(names().indexOf(name));
        for (int column = 0; column < model()->columnCount(); ++column) {
            const QVariant color = model()->index(row, column).data(Qt::ForegroundRole);
            QCOMPARE(color.isValid() && color.value<QColor>() == QColor(Qt::red), red);
        }
        DescriptionCell* cell = definition()->levelCell();
        cell->sizeHint(QStyleOptionViewItem(),
                       model()->index(row, model()->columnOf("description")));
        QStringList shown;
        for (const QByteArray& action :
             {cell->installAction(), cell->updateAction(), cell->wwwAction()}) {
            if (!action.isEmpty())
                shown.append(QString::fromLatin1(action).remove("Button"));
        }
        QCOMPARE(shown.join(u' '), buttons);
        clickRow(name);
        QCOMPARE(launcher()->lauchQuillmorButton()->isEnabled(), launchEnabled);
    }

    void play_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("byReturnKey");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("launchEnabledAfter");
        QTest::newRow("built-in level") << "Standard" << false << QString() << true;
        QTest::newRow("installed level, Return key")
            << "Deep Cave" << true << "custom Deep Cave" << true;
        QTest::newRow("only downloadable") << "Remote" << false << QString() << false;
    }
    void play()
    {
        QFETCH(QString, name);
        QFETCH(bool, byReturnKey);
        QFETCH(QString, arguments);
        QFETCH(bool, launchEnabledAfter);
        writeMixedCatalogue();
        home().createLevel("Deep Cave");
        start();
        if (byReturnKey) {
            clickRow(name);
            QTest::keyClick(table(), Qt::Key_Return);
        } else {
            doubleClickRow(name);
        }
        QCOMPARE(gameLog(), QStringList{arguments});
        QCOMPARE(storedLastSelection(), arguments.isEmpty() ? QString() : folderUrl(name));
        QCOMPARE(launcher()->lauchQuillmorButton()->isEnabled(), launchEnabledAfter);
    }

    void missingLevelThenBack()
    {
        const QString folder = home().createLevel("Alpha");
        start();
        QDir(folder).removeRecursively();
        clickRow("Alpha");
        QTest::mouseClick(launcher()->lauchQuillmorButton(), Qt::LeftButton);
        QVERIFY(gameLog().isEmpty());
        QCOMPARE(model()->index(int(names().indexOf("Alpha")), 0).data(Qt::ForegroundRole),
                 QVariant(QColor(Qt::red)));
        QVERIFY(!launcher()->lauchQuillmorButton()->isEnabled());
        QCOMPARE(answerSheet(), QStringLiteral("The level is missing!"));
        QCOMPARE(storedLastSelection(), QString());

        home().createLevel("Alpha");
        doubleClickRow("Alpha");
        QCOMPARE(gameLog(), QStringList{"custom Alpha"});
        QVERIFY(launcher()->lauchQuillmorButton()->isEnabled());
    }

    void windowRepaintsWhileGameRuns()
    {
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "1500");
        start();
        PaintCounter counter(launcher());
        table()->viewport()->installEventFilter(&counter);
        QTimer::singleShot(700, table(), [this] { table()->viewport()->update(); });
        doubleClickRow("Standard");
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "200");
        QCOMPARE(gameLog(), QStringList{""});
        QVERIFY(counter.paints > 0);
    }

    void gameProblem_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        QTest::newRow("no game installed") << ""
                                           << "Quillmor was not found."
                                           << "org.quillmor.Quillmor.desktop";
        QTest::newRow("executable missing") << "/nonexistent/quillmor"
                                            << "Quillmor could not be started."
                                            << "/nonexistent/quillmor";
    }
    void gameProblem()
    {
        QFETCH(QString, program);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        QFile::remove(home().dataHome() + "/applications/org.quillmor.Quillmor.desktop");
        if (!program.isEmpty())
            home().installGame(program);
        start();
        doubleClickRow("Standard");
        QString informative;
        QCOMPARE(answerSheet(&informative), message);
        QVERIFY2(informative.contains(detail), qPrintable(informative));
        QVERIFY(launcher()->lauchQuillmorButton()->isEnabled());
    }

    void closingTheWindowQuits()
    {
        start();
        QApplication::setQuitOnLastWindowClosed(
            launcher()->applicationShouldTerminateAfterLastWindowClosed());
        QTimer::singleShot(0, window(), [this] { window()->close(); });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
        const int code = QApplication::exec();
        QApplication::setQuitOnLastWindowClosed(false);
        QCOMPARE(code, 0);
    }

private:
    // Counts the table's repaints that happen while the game process runs.
    struct PaintCounter : QObject
    {
        QObject* launcher;
        int paints = 0;
        explicit PaintCounter(QObject* launcher) : launcher(launcher) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            const auto* game = launcher->findChild<QProcess*>("game");
            paints += event->type() == QEvent::Paint && game && game->state() == QProcess::Running;
            return false;
        }
    };

    // The built-in level, plus one level in each install state.
    void writeMixedCatalogue()
    {
        const QDateTime older(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
        home().createLevel("Old");
        home().createLevel("Current");
        QVariantList entries;
        for (const auto& [name, installed, newer] :
             {std::tuple{"Remote", false, true}, std::tuple{"Old", true, true},
              std::tuple{"Current", true, false}, std::tuple{"Vanished", true, false}}) {
            entries.append(QVariantMap{{"name", name},
                                       {"guid", name},
                                       {"urlInstall", installed ? folderUrl(name) : ""},
                                       {"urlDownload", "http://127.0.0.1:9/level.zip"},
                                       {"urlWebsite", installed ? "" : "http://127.0.0.1:9/"},
                                       {"pubDateInstall", older},
                                       {"pubDateRemote", older.addDays(newer ? 30 : 0)}});
        }
        home().writeCatalogue(entries);
    }
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
