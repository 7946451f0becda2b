#include "catalogue/Database.h"
#include "tests/launcher/LauncherFixture.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QMenu>
#include <QScopeGuard>
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

    // The level clicked (with Ctrl, which takes the selection away from the selected Standard),
    // the gesture and the sheet's button; then for a menu (after one opened on "Old" titled the
    // install item "Update") the install item's title and whether each item is "on", else the
    // sheet, the row kept or gone, the row selected, the launch button, the Trash and what was
    // opened, the level folder's path left out. A refresh may re-sort or drop the level while a
    // sheet is up; a level dropped hands the selection to the row where it was.
    void command_data()
    {
        QTest::addColumn<QStringList>("outcome");
        const auto row = [](const char* tag, const QStringList& outcome) {
            QTest::newRow(tag) << outcome;
        };
        const QString askOld = "Move \"Old\" to the Trash?", ask = "Move \"Found\" to the Trash?";
        row("Remote/menu", {"Install", "on", "off", "off", "on", "off"});
        row("Old/menu", {"Update", "on", "on", "on", "on", "on"});
        row("Remote/selected", {"Install", "on", "off", "off", "on", "off"}); // menu left shut
        row("Found/menu", {"Update", "off", "on", "on", "off", "on"});
        row("Vanished/menu", {"Reinstall", "on", "off", "on", "on", "off"});
        row("Standard/levelMenu/Ctrl", {"Update", "off", "off", "off", "off", "off"});
        row("Old/Move to Trash/OK", {askOld, "kept", "Old", "off", "Old", ""});
        row("Found/Delete/OK", {ask, "gone", "Old", "on", "Found", ""});
        row("Found/Move to Trash/Cancel", {ask, "kept", "Found", "on", "", ""});
        row("Found/Delete/re-sort, OK", {ask, "gone", "Current", "on", "Found", ""});
        row("Found/Delete/drop, OK", {ask, "gone", "Standard", "on", "", ""});
        row("Vanished/Delete", {"", "kept", "Vanished", "off", "", ""});
        row("Standard/Delete",
            {"The default level can't be deleted!", "kept", "Standard", "on", "", ""});
        row("Current/Show in File Browser", {"", "kept", "Current", "on", "", "file://"});
        row("Current/Show in File Browser/nothing opens",
            {"The folder can't be shown.", "kept", "Current", "on", "", ""});
        row("Remote/www", {"", "kept", "Remote", "off", "", "http://127.0.0.1:9/remote"});
        // The same button pressed as a screen reader does, through the cell's actions.
        row("Remote/Web page action",
            {"", "kept", "Remote", "off", "", "http://127.0.0.1:9/remote"});
        row("Current/View Web Page",
            {"The web page can't be opened. (not a web address)", "kept", "Current", "on", "", ""});
    }
    // The row's tag is its steps.
    void command()
    {
        QFETCH(QStringList, outcome);
        const QStringList steps = QString(QTest::currentDataTag()).split('/');
        const QString level = steps[0], gesture = steps[1], button = steps.value(2);
        const bool menu = gesture.endsWith("enu") || gesture == "selected";
        // No file manager on the bus, and no program found to open a folder with.
        const QByteArray path = qgetenv("PATH");
        if (button == "nothing opens")
            QDesktopServices::unsetUrlHandler("file"), qputenv("PATH", "/nonexistent");
        const auto restore = qScopeGuard([&] {
            qputenv("PATH", path);
            QDesktopServices::setUrlHandler("file", &m_opened, "open");
        });
        if (menu)
            contextMenu("Old");
        clickAt(rowPoint(level), button == "Ctrl" ? Qt::ControlModifier : Qt::NoModifier);
        if (gesture == "Delete")
            QTest::keyClick(table(), Qt::Key_Delete);
        else if (gesture == "www")
            clickAt(cellLayout(level).www->center());
        else if (gesture.endsWith("action"))
            QAccessible::queryAccessibleInterface(table())
                ->tableInterface()
                ->cellAt(rowOf(level), model()->columnOf("description"))
                ->actionInterface()
                ->doAction(gesture.section(' ', 0, -2));
        else if (auto* bar = window()->findChild<QMenu*>(gesture))
            bar->popup({}), bar->hide();
        else if (gesture != "selected")
            contextMenu(level, gesture);
        if (button.startsWith("drop"))
            definition()->database()->removeEntriesForInstallDir(QUrl(folderUrl(level)));
        if (button.contains(','))
            table()->sortByColumn(0, Qt::DescendingOrder);
        const QList<QAction*> items = launcher()->levelMenuItems();
        QStringList seen{menu ? items[0]->text()
                              : answerSheet(button == "nothing opens" || button.endsWith("OK")
                                                ? QString() // Return: the sheet's default button
                                                : button.section(", ", -1))};
        seen[0] += informative().contains("not an http") ? " (not a web address)" : "";
        const QStringList facts =
            menu ? QStringList{"install item", "install", "play", "delete", "website", "reveal"}
                 : QStringList{"sheet", "row", "selected", "launch button", "Trash", "opened"};
        for (int i = 0; menu && i < 5; ++i)
            seen << (items[i]->isEnabled() ? "on" : "off");
        if (!menu)
            seen << (names().contains(level) ? "kept" : "gone") << selectionState()
                 << home().trashed() << m_opened.list.join(' ').remove(home().gameLevelDir());
        QCOMPARE(labelled(facts, seen), labelled(facts, outcome));
    }
};

QTEST_MAIN(LevelCommandsTest)
#include "LevelCommandsTest.moc"
