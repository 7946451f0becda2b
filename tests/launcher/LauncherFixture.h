#pragma once

// The launcher as a person meets it, for the launcher's test programs: a temporary home with
// the stand-in game, the real window definition, and helpers that click the real widgets.

#include "cells/DescriptionCell.h"
#include "install/Locations.h"
#include "launcher/Launcher.h"
#include "launcher/LevelTableModel.h"
#include "launcher/WindowDefinition.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"

#include <QMainWindow>
#include <QPushButton>
#include <QStringList>
#include <QTableView>

#include <memory>

// Catches the pages and folders the launcher opens, for as long as it lives, instead of the
// desktop; a folder is shown by opening it, as where no file manager answers on the bus.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    OpenedUrls();
    ~OpenedUrls() override;
    QStringList list;

public slots:
    void open(const QUrl& url) { list.append(url.toString()); }
};

class LauncherFixture
{
public:
    // A fresh home with the game registered; the game logs its arguments to game.log.
    void setUp();
    void tearDown();

    // Creates, connects and wakes everything, then shows the window.
    void start();
    // Ends this run of the launcher, as quitting would; start() begins the next.
    void stop() { m_definition.reset(); }

    TestHome& home() const { return *m_home; }
    // The case's loopback server, up from setUp() to tearDown().
    HttpFixture& http() const { return *m_http; }
    static QString downloads() { return getDownloadDir().value_or(QString()); }
    WindowDefinition* definition() const { return m_definition.get(); }
    Launcher* launcher() const { return m_definition->launcher(); }
    QMainWindow* window() const { return m_definition->window(); }
    QTableView* table() const { return launcher()->levelTable(); }
    LevelTableModel* model() const { return m_definition->levelModel(); }
    QPushButton* updateAllButton() const { return launcher()->updateAllButton(); }

    // A catalogue entry for a level installed a day ago, with its folder, whose feed has
    // published a newer archive at /<name>.zip on the loopback server.
    QVariantMap installedLevel(const QString& name) const;
    // The level folder's URL as the catalogue stores it.
    QString folderUrl(const QString& name) const;
    // One line a start of the game, its arguments joined by spaces.
    QStringList gameLog() const;
    // The game's starts as "(arguments)" one after another, empty when it never started.
    QString gamesPlayed() const;
    // Outcome facts as "label: value" items, so that a failed QCOMPARE of two such lists names
    // the fact that differs.
    static QStringList labelled(const QStringList& labels, const QStringList& values);

    QStringList names() const;
    int rowOf(const QString& name) const { return int(names().indexOf(name)); }
    QString selectedName() const;
    // The selected row's name and whether the launch button is "on" or "off".
    QStringList selectionState() const
    {
        return {selectedName(), launcher()->lauchQuillmorButton()->isEnabled() ? "on" : "off"};
    }
    QPoint rowPoint(const QString& name, const QString& column = QStringLiteral("name")) const;
    // Clicks the table at a point of its viewport.
    void clickAt(const QPoint& point, Qt::KeyboardModifiers modifiers = {});
    void clickRow(const QString& name) { clickAt(rowPoint(name)); }
    // Double-clicks the row, and waits for the game it may start to end.
    void doubleClickRow(const QString& name);
    void waitForGame() const;
    void clickHeader(const QString& column);
    // Waits for a sheet with a message in front of the window.
    static bool sheetUp();
    // Closes the sheet in front with its default button (or the button titled `button`);
    // answers its message text, empty when there is none.
    QString answerSheet(const QString& button = {});
    // The informative text of the sheet answerSheet() closed last.
    QString informative() const { return m_informative; }

    // The built-in level and one of each kind, by name: Current (up to date, a file: web
    // address), Found (only in the level folder), Old (an update waiting, https),
    // Remote (downloadable, http), Standard (built in), Vanished (folder gone, javascript:).
    void writeMixedCatalogue();
    // Right-clicks the row and chooses the item titled `item`, or closes the menu unchosen.
    void contextMenu(const QString& name, const QString& item = {});
    // The row's description cell with its buttons, in the table's viewport.
    DescriptionCell::Layout cellLayout(const QString& name) const;

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HttpFixture> m_http;
    std::unique_ptr<WindowDefinition> m_definition;
    QString m_informative;
};
