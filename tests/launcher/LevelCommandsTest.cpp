#include "catalogue/Database.h"
#include "cells/DescriptionCell.h"
#include "tests/launcher/LauncherFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

static const char* const kSchemes[] = {"http", "https", "file", "javascript"};

// The commands on one level as a person reaches them: the contextual menu, the "Level" menu,
// the Delete key and the cell's "www" button. Pages and folders open into this test.
class LevelCommandsTest : public QObject, private LauncherFixture
{
    Q_OBJECT

public slots:
    void open(const QUrl& url) { m_opened.append(url.toString()); }

private slots:
    void initTestCase()
    {
        // No file manager on a bus: a folder is shown by opening its parent.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    void cleanupTestCase()
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    void init() { setUp(), m_opened.clear(); }
    void cleanup() { tearDown(); }

    void command_data()
    {
        for (const char* column : {"level", "gesture", "button", "outcome"})
            QTest::addColumn<QString>(column);
        // Menus (install item's title: enabled items); the first opens on "Old", titling "Update".
        const auto menu = [](const char* tag, const char* level, const char* how, const char* out) {
            QTest::newRow(tag) << level << how << "" << out;
        };
        menu("built-in", "Standard", "menu", "Update: play website");
        menu("downloadable", "Remote", "menu", "Install: install website");
        menu("updatable", "Old", "menu", "Update: install play delete website reveal");
        menu("found in folder", "Found", "menu", "Update: play delete reveal");
        menu("folder vanished", "Vanished", "menu", "Reinstall: install delete website");
        menu("current, Level menu", "Current", "bar",
             "Reinstall: install play delete website reveal");
        menu("Level menu, no row", "", "bar", "Update: ");
        // Commands: sheet | row kept?, selected row, launch button | Trash | opened.
        const QString ask = "Are you sure you want to delete this level? | ";
        const auto row = [](const char* tag, const char* level, const char* how, const char* button,
                            const QString& out) {
            QTest::newRow(tag) << level << how << button << out;
        };
        row("delete feed level", "Old", "Move to Trash", "OK", ask + "kept Old off | Old | ");
        row("delete found, key", "Found", "Delete", "OK", ask + "gone Old on | Found | ");
        row("delete last row", "Zed", "Delete", "OK", ask + "gone Vanished off | Zed | ");
        row("cancel", "Found", "Move to Trash", "Cancel", ask + "kept Found on |  | ");
        row("delete after re-sort", "Found", "Delete", "re-sort, OK",
            ask + "gone Current on | Found | ");
        row("delete what is gone", "Found", "Delete", "drop, OK", ask + "gone Old on |  | ");
        row("missing level", "Vanished", "Delete", "", " | kept Vanished off |  | ");
        row("built-in, by key", "Standard", "Delete", "",
            "The default level can't be deleted! | kept Standard on |  | ");
        row("show folder", "Current", "Show in File Browser", "", " | kept Current on |  | LEVELS");
        row("http, www", "Remote", "www", "", " | kept Remote off |  | http://127.0.0.1:9/remote");
        row("file:, item", "Current", "View Web Page", "",
            "The web page can't be opened. | kept Current on |  | ");
    }
    void command()
    {
        QFETCH(QString, level);
        QFETCH(QString, gesture);
        QFETCH(QString, button);
        QFETCH(QString, outcome);
        startWithLevels();
        const bool menu = gesture == "menu" || gesture == "bar";
        if (menu)
            contextMenu("Old");
        // Ctrl+click takes the selection away from the row.
        QTest::mouseClick(table()->viewport(), Qt::LeftButton,
                          level.isEmpty() ? Qt::ControlModifier : Qt::NoModifier,
                          rowPoint(level.isEmpty() ? selectedName() : level));
        if (gesture == "Delete")
            QTest::keyClick(table(), Qt::Key_Delete);
        else if (gesture == "www")
            clickWww(level);
        else if (gesture == "bar")
            openLevelMenu();
        else
            contextMenu(level, gesture);
        if (menu) {
            const QStringList words{"install", "play", "delete", "website", "reveal"};
            const QList<QAction*> items = launcher()->levelMenuItems();
            QStringList enabled;
            for (int i = 0; i < items.size(); ++i) {
                if (items[i]->isEnabled())
                    enabled << words[i];
            }
            QCOMPARE(items[0]->text() + ": " + enabled.join(' '), outcome);
            return;
        }
        // A refresh ends while the question is up, re-sorting the table or dropping the level.
        if (button.startsWith("drop"))
            definition()->database()->removeEntriesForInstallDir(QUrl(folderUrl(level)));
        if (button.contains(','))
            table()->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
        const QStringList parts{
            answerSheet(nullptr, button.section(", ", -1)),
            QStringList{names().contains(level) ? "kept" : "gone", selectedName(),
                        launcher()->lauchQuillmorButton()->isEnabled() ? "on" : "off"}
                .join(' '),
            QDir(home().dataHome() + "/Trash/files")
                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                .join(' '),
            m_opened.join(' ').replace(QUrl::fromLocalFile(home().gameLevelDir()).toString(),
                                       "LEVELS")};
        QCOMPARE(parts.join(" | "), outcome);
    }

private:
    // Sorted by name: Current, Found, Old, Remote, Standard (built in), Vanished, Zed. Found
    // and Zed are only in the level folder; the others come from a feed.
    void startWithLevels()
    {
        const QDateTime older(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
        for (const char* name : {"Old", "Current", "Found", "Zed"})
            home().createLevel(name);
        QVariantList entries;
        for (const auto& [name, installed, newer, website] :
             {std::tuple{"Remote", false, true, "http://127.0.0.1:9/remote"},
              std::tuple{"Old", true, true, "https://127.0.0.1:9/old"},
              std::tuple{"Current", true, false, "file:///etc/passwd"},
              std::tuple{"Vanished", true, false, "javascript:alert(1)"}})
            entries.append(QVariantMap{{"name", name},
                                       {"guid", name},
                                       {"urlWebsite", website},
                                       {"urlSource", "http://127.0.0.1:9/feed"},
                                       {"urlInstall", installed ? folderUrl(name) : ""},
                                       {"urlDownload", "http://127.0.0.1:9/level.zip"},
                                       {"pubDateInstall", older},
                                       {"pubDateRemote", older.addDays(newer ? 30 : 0)}});
        home().writeCatalogue(entries);
        start();
    }

    // Right-clicks the row and chooses the item titled `item`, or closes the menu unchosen.
    void contextMenu(const QString& level, const QString& item = {})
    {
        QTimer::singleShot(0, table(), [item] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu->actions()) {
                if (action->text() == item)
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
            }
            menu->close();
        });
        const QPoint at = rowPoint(level);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, table()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(table()->viewport(), &event);
    }

    void openLevelMenu()
    {
        auto* menu = window()->findChild<QMenu*>("levelMenu");
        QMenuBar* bar = window()->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        QTRY_VERIFY(menu->isVisible());
        menu->close();
    }

    void clickWww(const QString& level)
    {
        const QModelIndex index = model()->index(rowOf(level), model()->columnOf("description"));
        DescriptionCell* cell = definition()->levelCell();
        cell->sizeHint(QStyleOptionViewItem(), index); // takes on the row's buttons
        const QRect www = *cell->layout(table()->visualRect(index), table()).www;
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, www.center());
    }

    QStringList m_opened;
};

QTEST_MAIN(LevelCommandsTest)
#include "LevelCommandsTest.moc"
