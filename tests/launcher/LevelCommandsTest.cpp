#include "catalogue/Database.h"
#include "tests/launcher/LauncherFixture.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

// The commands on one level as a person reaches them: the contextual menu, the "Level" menu,
// the Delete key and the cell's "www" button.
class LevelCommandsTest : public QObject, private LauncherFixture
{
    Q_OBJECT
    OpenedUrls m_opened;

private slots:
    void init() { setUp(), writeMixedCatalogue(), start(), m_opened.list.clear(); }
    void cleanup() { tearDown(); }

    // The level clicked, the gesture and the sheet's button; then for a menu opened on the row
    // (the first opens on "Old", titling "Update") the install item's title and the enabled
    // items, else the sheet | the row kept or gone, the row selected, the launch button | the
    // Trash | what was opened. A refresh may re-sort or drop the level while a sheet is up.
    void command_data()
    {
        QTest::addColumn<QString>("outcome");
        const QString ask = "Are you sure you want to delete this level? | ";
        QTest::newRow("Standard/menu") << QString("Update play website");
        QTest::newRow("Remote/menu") << QString("Install install website");
        QTest::newRow("Old/menu") << QString("Update install play delete website reveal");
        QTest::newRow("Found/menu") << QString("Update play delete reveal");
        QTest::newRow("Vanished/menu") << QString("Reinstall install delete website");
        QTest::newRow("Current/levelMenu")
            << QString("Reinstall install play delete website reveal");
        QTest::newRow("/levelMenu") << QString("Update");
        QTest::newRow("Old/Move to Trash/OK") << ask + "kept Old off | Old | ";
        QTest::newRow("Found/Delete/OK") << ask + "gone Old on | Found | ";
        QTest::newRow("Zed/Delete/OK") << ask + "gone Vanished off | Zed | ";
        QTest::newRow("Found/Move to Trash/Cancel") << ask + "kept Found on |  | ";
        QTest::newRow("Found/Delete/re-sort, OK") << ask + "gone Current on | Found | ";
        QTest::newRow("Found/Delete/drop, OK") << ask + "gone Old on |  | ";
        QTest::newRow("Vanished/Delete") << QString(" | kept Vanished off |  | ");
        QTest::newRow("Standard/Delete")
            << QString("The default level can't be deleted! | kept Standard on |  | ");
        QTest::newRow("Current/Show in File Browser") << QString(" | kept Current on |  | LEVELS");
        QTest::newRow("Remote/www") << QString(" | kept Remote off |  | http://127.0.0.1:9/remote");
        QTest::newRow("Current/View Web Page")
            << QString("The web page can't be opened. (not a web address) | kept Current on |  | ");
    }
    // The row's tag is its steps.
    void command()
    {
        QFETCH(QString, outcome);
        const QString steps = QTest::currentDataTag();
        const QString level = steps.section('/', 0, 0), gesture = steps.section('/', 1, 1),
                      button = steps.section('/', 2);
        const bool menu = gesture.endsWith("enu");
        if (menu)
            contextMenu("Old");
        // Ctrl+click takes the selection away from the row.
        QTest::mouseClick(table()->viewport(), Qt::LeftButton,
                          level.isEmpty() ? Qt::ControlModifier : Qt::NoModifier,
                          rowPoint(level.isEmpty() ? selectedName() : level));
        if (gesture == "Delete")
            QTest::keyClick(table(), Qt::Key_Delete);
        else if (gesture == "www")
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                              cellLayout(level).www->center());
        else if (auto* bar = window()->findChild<QMenu*>(gesture))
            bar->popup({}), bar->hide();
        else
            contextMenu(level, menu ? QString() : gesture);
        if (button.startsWith("drop"))
            definition()->database()->removeEntriesForInstallDir(QUrl(folderUrl(level)));
        if (button.contains(','))
            table()->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
        const QList<QAction*> items = launcher()->levelMenuItems();
        QString why;
        QStringList seen{menu ? items[0]->text() : answerSheet(&why, button.section(", ", -1))};
        seen[0] += why.contains("not an http or https address") ? " (not a web address)" : "";
        const QStringList words{"install", "play", "delete", "website", "reveal"};
        for (int i = 0; menu && i < words.size(); ++i) {
            if (items[i]->isEnabled())
                seen << words[i];
        }
        if (!menu)
            seen << (names().contains(level) ? "kept " : "gone ") + selectionState()
                 << QDir(home().dataHome() + "/Trash/files")
                        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                        .join(' ')
                 << m_opened.list.join(' ').replace(
                        QUrl::fromLocalFile(home().gameLevelDir()).toString(), "LEVELS");
        QCOMPARE(seen.join(menu ? " " : " | "), outcome);
    }
};

QTEST_MAIN(LevelCommandsTest)
#include "LevelCommandsTest.moc"
