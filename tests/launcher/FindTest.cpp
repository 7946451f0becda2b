#include "install/StaleDownloads.h"
#include "tests/launcher/LauncherFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

// Finding levels with the filter field, the counts line under the table and the start-up
// clean-up of the download folder, on the real window.
class FindTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    QLineEdit* filter() const { return window()->findChild<QLineEdit*>("levelFilter"); }

    // Sorted by name: Castle (installed, update published), Crème Brûlée (a feed's, not
    // installed), Ocean (installed from an archive in the download folder), Standard (selected
    // at start). No source is named: the source column shows the feed's address.
    void startWithLevels()
    {
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

    // Gestures, ';' apart: click a row, type into the field (Ctrl+F), Escape, sort by name
    // again, Delete the selected level.
    void find_data()
    {
        QTest::addColumn<QString>("gestures");
        QTest::addColumn<QString>("outcome"); // selected, launch button | shown | counts line
        const QString counts = " | 2 levels installed, 1 update available [Update All]";
        const auto row = [](const char* tag, const char* gestures, const QString& outcome) {
            QTest::newRow(tag) << gestures << outcome;
        };
        row("name, other case", "type CASTLE", " off | Castle" + counts);
        row("name, accents left out", "type creme brulee", " off | Crème Brûlée" + counts);
        row("author", "type zoe", " off | Crème Brûlée" + counts);
        row("description, ligature", "type fish", " off | Ocean" + counts);
        row("source", "type /other", " off | Castle, Ocean" + counts);
        row("not across columns", "type castleann", " off | " + counts);
        row("selected row shown", "click Ocean;type fish", "Ocean on | Ocean" + counts);
        row("Escape shows every row", "click Castle;type ocean;escape",
            " off | Castle, Crème Brûlée, Ocean, Standard" + counts);
        row("re-sort keeps the filter", "click Ocean;type an;sort",
            "Ocean on | Standard, Ocean, Castle" + counts);
        row("delete in a filtered table", "type fish;click Ocean;delete",
            "Ocean off | Ocean | 1 level installed, 1 update available [Update All]");
    }
    void find()
    {
        QFETCH(QString, gestures);
        QFETCH(QString, outcome);
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
            } else if (gesture == "sort") {
                clickHeader("name");
            } else if (gesture == "delete") {
                QTest::keyClick(table(), Qt::Key_Delete);
                answerSheet();
            }
        }
        QStringList shown = names();
        shown.removeIf([this](const QString& name) { return table()->isRowHidden(rowOf(name)); });
        const bool on = launcher()->lauchQuillmorButton()->isEnabled();
        QCOMPARE(selectedName() + (on ? " on | " : " off | ") + shown.join(", ") + " | " +
                     launcher()->levelCountsLabel()->text() +
                     (updateAllButton()->isEnabled() ? " [Update All]" : ""),
                 outcome);
    }

    void staleDownloadsAtStart()
    {
        for (const char* name : {"Castle.zip", "Ocean.zip", "old.zip", "Ocean.zip.download"})
            home().createFile(downloads() + u'/' + name, "zip");
        startWithLevels();
        QCOMPARE(QDir(home().dataHome() + "/Trash/files").entryList(QDir::Files).join(' ') + " | " +
                     QDir(downloads()).entryList(QDir::Files).join(' '),
                 QStringLiteral("Ocean.zip.download old.zip | Castle.zip Ocean.zip"));
    }

    // The file a transfer writes stays, whatever its name says.
    void staleDownloadsSpareTheRunningTransfer()
    {
        for (const char* name : {"a.zip", "b.zip", "a.zip.download", "b.zip.download"})
            home().createFile(QStringLiteral("dl/") + name);
        QCOMPARE(chooseStaleDownloads(home().filePath("dl"), {"a.zip"},
                                      {home().filePath("dl/b.zip.download")}),
                 (QStringList{home().filePath("dl/a.zip.download"), home().filePath("dl/b.zip")}));
    }
};

QTEST_MAIN(FindTest)
#include "FindTest.moc"
