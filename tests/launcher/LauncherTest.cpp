#include "launcher/Launcher.h"
#include "cells/DescriptionCell.h"
#include "launcher/LevelTableModel.h"
#include "launcher/WindowDefinition.h"
#include "platform/UserDefaults.h"
#include "tests/support/TestHome.h"

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
class LauncherTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "200");
        // A closed window would otherwise end every event loop the later cases start.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_home->installGame();
        qputenv("QUILLMOR_GAME_LOG", QFile::encodeName(m_home->filePath("game.log")));
    }
    void cleanup()
    {
        m_definition.reset();
        m_home.reset();
    }

    void everythingConnectedBeforeWaking()
    {
        m_home->createLevel("Alpha");
        m_definition = std::make_unique<WindowDefinition>();
        m_definition->instantiate();
        Launcher* launcher = m_definition->launcher();
        const bool connected = launcher->database() == m_definition->database() &&
                               launcher->repositories() == m_definition->repositories() &&
                               launcher->downloadStatus() && launcher->lauchQuillmorButton() &&
                               launcher->preferenceSheet() && launcher->levelTable() &&
                               launcher->window() && !launcher->levelMenuItems().contains(nullptr);
        QVERIFY(connected);
        QCOMPARE(m_definition->levelModel()->rowCount(), 0);
        m_definition->awake();
        QCOMPARE(m_definition->levelModel()->rowCount(), 2);
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
        m_home->createLevel("Zulu");
        m_home->createLevel("Alpha");
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
        m_home->createLevel("Beta");
        m_home->createLevel("Alpha");
        start();
        clickHeader("author");
        clickHeader("author");
        table()->horizontalHeader()->resizeSection(0, 222);
        window()->resize(700, 410);
        window()->close();
        m_definition.reset();

        start();
        QCOMPARE(window()->size(), QSize(700, 410));
        QCOMPARE(table()->horizontalHeader()->sectionSize(0), 222);
        const QHeaderView* header = table()->horizontalHeader();
        QVERIFY(header->sortIndicatorSection() == model()->columnOf("author") &&
                header->sortIndicatorOrder() == Qt::DescendingOrder);
    }

    void headerClickKeepsTheSelectedLevel()
    {
        m_home->createLevel("Beta");
        m_home->createLevel("Alpha");
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
        DescriptionCell* cell = m_definition->levelCell();
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
        m_home->createLevel("Deep Cave");
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
        const QString folder = m_home->createLevel("Alpha");
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

        m_home->createLevel("Alpha");
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
        QFile::remove(m_home->dataHome() + "/applications/org.quillmor.Quillmor.desktop");
        if (!program.isEmpty())
            m_home->installGame(program);
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

    void start()
    {
        m_definition = std::make_unique<WindowDefinition>();
        m_definition->load();
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }
    Launcher* launcher() const { return m_definition->launcher(); }
    QMainWindow* window() const { return m_definition->window(); }
    QTableView* table() const { return launcher()->levelTable(); }
    LevelTableModel* model() const { return m_definition->levelModel(); }

    QString folderUrl(const QString& name) const
    {
        return QUrl::fromLocalFile(m_home->gameLevelDir() + u'/' + name + u'/')
            .toString(QUrl::FullyEncoded);
    }
    QString storedLastSelection() const
    {
        return UserDefaults::standard().objectForKey(QStringLiteral("lastSelection")).toString();
    }
    QStringList gameLog() const
    {
        QFile log(m_home->filePath("game.log"));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n');
        lines.removeLast(); // every line ends with a newline
        return lines;
    }

    QStringList names() const
    {
        QStringList list;
        for (int row = 0; row < model()->rowCount(); ++row)
            list.append(model()->index(row, 0).data().toString());
        return list;
    }
    QString selectedName() const
    {
        const QModelIndexList rows = table()->selectionModel()->selectedRows();
        return rows.isEmpty() ? QString() : rows.first().data().toString();
    }
    QPoint rowPoint(const QString& name) const
    {
        const int row = int(names().indexOf(name));
        return table()->visualRect(model()->index(row, 0)).center();
    }
    void clickRow(const QString& name)
    {
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, rowPoint(name));
    }
    void doubleClickRow(const QString& name)
    {
        clickRow(name); // the view plays only a row that the press of the click chose
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, rowPoint(name));
    }
    void clickHeader(const QString& column)
    {
        QHeaderView* header = table()->horizontalHeader();
        const int section = model()->columnOf(column);
        const QPoint at(header->sectionViewportPosition(section) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Closes the sheet on the window with its default button; answers its message text.
    QString answerSheet(QString* informative = nullptr)
    {
        // A sheet is on screen as soon as the call that opened it returns.
        auto* sheet = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!sheet)
            return {};
        const QString text = sheet->text();
        if (informative)
            *informative = sheet->informativeText();
        QTest::keyClick(sheet, Qt::Key_Return);
        return text;
    }

    // The built-in level, plus one level in each install state.
    void writeMixedCatalogue()
    {
        const QDateTime older(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
        m_home->createLevel("Old");
        m_home->createLevel("Current");
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
        m_home->writeCatalogue(entries);
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<WindowDefinition> m_definition;
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
