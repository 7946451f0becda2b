// The preferences panel as a sheet over the launcher's real window, opened from its menu,
// against the loopback server, a temporary home and the real widgets.

#include "preferences/Preferences.h"
#include "catalogue/Database.h"
#include "cells/DescriptionCell.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "preferences/EntrySheet.h"
#include "preferences/PreferencesPanel.h"
#include "sources/Repositories.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/HttpFixture.h"
#include "transfer/DownloadStatus.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kNotFeed = "The address does not serve a level feed.";

QByteArray rss(const QByteArray& title, const QByteArray& extra = {})
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title + "</title>" +
           extra +
           "<item><title>R One</title><enclosure url=\"http://x.example/r1.zip\" "
           "type=\"application/x-quillmor-level\"/></item></channel></rss>";
}

const QByteArray kText = "T One\nhttp://x.example/t1.zip\nT Two\nhttp://x.example/t2.zip\n";
const QByteArray kXml = "<?xml version=\"1.0\"?><QuillmorLevels/>";

// One key's values in a source list or catalogue, in its order.
template <typename List> QStringList values(const List& list, const QString& key)
{
    QStringList values;
    for (qsizetype i = 0; i < list.count(); ++i)
        values.append(list.objectAtIndex(i)[key].toString());
    return values;
}

} // namespace

class PreferencesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_launcher.setUp();
        m_server = std::make_unique<HttpFixture>();
        m_opened.list.clear();
        QApplication::clipboard()->clear();
        for (const char* path : {"/b.txt", "/z-alpha.rss", "/n.txt"})
            m_server->setBody(path, kText);
        m_server->setBody("/a.xml", kXml);
        m_server->setBody("/n.rss", rss("New"));
        m_server->setBody("/n.xml", kXml);
        m_server->setBody("/page", "<html><body>Hello</body></html>");
        // Checked a moment ago, so the launcher's start-up refresh leaves them alone.
        const auto source = [&](const char* name, const char* path, const char* website) {
            return QVariantMap{{"name", name},
                               {"urlDownload", m_server->url(path).toString()},
                               {"urlWebsite", website},
                               {"nextCheckDate", QDateTime::currentDateTimeUtc().addDays(1)}};
        };
        UserDefaults::standard().setObject(
            QVariantList{source("Beta", "/b.txt", "https://beta.example/"),
                         source("Alpha", "/z-alpha.rss", "javascript:alert(1)"),
                         source("Gamma", "/a.xml", "")},
            "source");
        const QString beta = m_server->url("/b.txt").toString();
        const QVariantMap loose{{"name", "B loose"}, {"guid", "B loose"}, {"urlSource", beta}};
        QVariantMap kept{{"name", "B kept"}, {"guid", "B kept"}, {"urlSource", beta}};
        kept["urlInstall"] = "file:///k/";
        m_launcher.home().writeCatalogue({loose, kept});
        m_launcher.start();
        m_launcher.window()->findChild<QAction*>("actionPreferences")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(panel()));
    }

    void cleanup() { m_launcher.tearDown(); }

    // Gestures on the panel in order: a row's name (with Ctrl held, or on its www button), the
    // address header, Remove, and a close by OK, Cancel or Escape. Then what is seen: Remove's
    // state, the rows, the selected one, what was opened; after a close instead the code it
    // ended with, the saved list, Beta's levels in the catalogue and the level table, whether
    // the panel shows, the level table's first row, and the rows on reopening. The sheet's
    // refresh appended the level "AAA" meanwhile; the launcher's adds "d.example" once it is
    // closed.
    void gestures_data()
    {
        QTest::addColumn<QString>("gestures");
        QTest::addColumn<QString>("seen");
        const QString closed = "-1 Beta,Alpha,Gamma B kept B kept 0 AAA Alpha,Beta,Gamma,d.example";
        const QList<std::pair<const char*, QString>> rows = {
            {"Beta", "on Alpha,Beta,Gamma Beta "},
            {"Beta header", "on Gamma,Beta,Alpha Beta "},
            {"Beta Ctrl+Beta", "off Alpha,Beta,Gamma  "},
            {"www+Beta", "on Alpha,Beta,Gamma Beta https://beta.example/"},
            {"www+Alpha", "on Alpha,Beta,Gamma Alpha "},
            {"Beta Remove OK", "0 Alpha,Gamma B kept B kept 0 AAA Alpha,Gamma,d.example"},
            {"Beta Remove Cancel", closed},
            {"Beta Remove Escape", closed}};
        for (const auto& [gestures, seen] : rows)
            QTest::newRow(gestures) << QString(gestures) << seen;
    }
    void gestures()
    {
        QFETCH(QString, gestures);
        QFETCH(QString, seen);
        QSignalSpy finished(panel(), &QDialog::finished);
        definition()->database()->updateInstall({{"name", "AAA"}, {"urlInstall", "file:///a/"}});
        QVERIFY(!panel()->removeButton()->isEnabled());
        for (const QString& gesture : gestures.split(' '))
            click(gesture);
        QStringList shown;
        if (finished.isEmpty())
            shown << (panel()->removeButton()->isEnabled() ? "on" : "off") << shownNames().join(',')
                  << table()->selectionModel()->selectedRows().value(0).data().toString()
                  << m_opened.list.join(' ');
        if (!finished.isEmpty()) {
            Repositories storedList;
            storedList.load();
            Database stored;
            stored.load();
            shown << QString::number(finished.value(0).value(0).toInt())
                  << values(storedList, "name").join(',')
                  << values(stored, "name").filter("B ").join(',')
                  << m_launcher.names().filter("B ").join(',')
                  << QString::number(panel()->isVisible()) << m_launcher.names().value(0);
            repos().updateEntry({{"urlDownload", "http://d.example/f.txt"}, {"format", "txt"}});
            m_launcher.window()->findChild<QAction*>("actionPreferences")->trigger();
            QVERIFY(QTest::qWaitForWindowExposed(panel()));
            shown << shownNames().join(',');
        }
        QCOMPARE(shown.join(' '), seen);
    }

    // What the clipboard offers (a URL list, else text), how the add sheet opens with it (the
    // field and its selection), and what was typed over it then, or Refresh clicked instead;
    // then the sources, their formats, the levels they brought, and what the user was told.
    void add_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("typed"); // %1 is the server's port; none: Refresh is clicked
        QTest::addColumn<QByteArray>("betaFeed");
        QTest::addColumn<QString>("outcome");
        const char* rows[][4] = {
            {"url", "http://feeds.example/l.rss", "http://127.0.0.1:%1/n.rss",
             "http://feeds.example/l.rss [feeds.example/l.rss] Alpha,Beta,Gamma,New rss R One"},
            {"copied line, text typed with spaces and no scheme", "file:///srv/f.txt\n",
             "  127.0.0.1:%1/n.txt ",
             "file:///srv/f.txt [/srv/f.txt] 127.0.0.1,Alpha,Beta,Gamma txt T One,T Two"},
            {"word", "levels", "http://127.0.0.1:%1/n.xml",
             "levels [] 127.0.0.1,Alpha,Beta,Gamma xml"},
            {"text with a space", "no url", "http://127.0.0.1:%1/page",
             "http:// [] Alpha,Beta,Gamma no feed"},
            {"404 with a feed", "", "http://127.0.0.1:%1/gone.rss",
             "http:// [] Alpha,Beta,Gamma error"},
            {"ftp", "", "ftp://127.0.0.1:%1/n.rss", "http:// [] Alpha,Beta,Gamma sheet kept"},
            {"no host", "", "http://", "http:// [] Alpha,Beta,Gamma sheet kept"}};
        for (const auto& [name, pasted, typed, outcome] : rows)
            QTest::newRow(name) << QString(pasted) << QString(typed) << kText << QString(outcome);
        // Refresh classifies each feed by its content, whatever its address ends with.
        QTest::newRow("refresh, both markers")
            << ""
            << "" << rss("B", "<description><![CDATA[<QuillmorLevels]]></description>")
            << QString("Alpha,B,Gamma txtrssxml R One,T One,T Two");
        QTest::newRow("refresh, levels document")
            << ""
            << "" << kXml << QString("Alpha,Beta,Gamma txtxmlxml T One,T Two");
        QTest::newRow("refresh, neither")
            << ""
            << "" << kText << QString("Alpha,Beta,Gamma txttxtxml T One,T Two,T One,T Two");
    }
    void add()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, typed);
        QFETCH(QByteArray, betaFeed);
        QFETCH(QString, outcome);
        m_server->setResponse("/gone.rss", HttpFixture::answer(404, rss("Gone")));
        m_server->setBody("/b.txt", betaFeed);
        auto* data = new QMimeData;
        data->setData(pasted.startsWith("http") ? "text/uri-list" : "text/plain", pasted.toUtf8());
        QApplication::clipboard()->setMimeData(data);
        EntrySheet* sheet = nullptr;
        QStringList seen;
        if (typed.isEmpty()) {
            QTest::mouseClick(panel()->refreshButton(), Qt::LeftButton);
        } else {
            QLineEdit* field = (sheet = openAddSheet())->repositoryUrl();
            seen << field->text() + " [" + field->selectedText() + "]";
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, typed.replace("%1", QString::number(m_server->port())));
            QTest::keyClick(field, Qt::Key_Return);
        }
        QTRY_VERIFY(definition()->preferences()->checkFeedList().isEmpty() && !loading());
        Database stored;
        stored.load();
        seen << values(repos(), "name").join(',') << values(repos(), "format").join("")
             << values(stored, "name").filter(QRegularExpression("^[RT] ")).join(',');
        if (const Alert* alert = panel()->findChild<Alert*>())
            seen << (alert->messageText() == kNotFeed ? "no feed" : "error");
        if (sheet && sheet->isVisible() && !sheet->message().isEmpty() &&
            m_server->requests().isEmpty())
            seen << "sheet kept";
        seen.removeAll(QString());
        QCOMPARE(seen.join(' '), outcome);
    }

private:
    WindowDefinition* definition() const { return m_launcher.definition(); }
    PreferencesPanel* panel() const { return definition()->preferencePanel(); }
    Repositories& repos() const { return *definition()->repositories(); }
    bool loading() const { return definition()->downloadStatus()->isLoading(); }
    QTableView* table() const { return panel()->repositoryTable(); }

    void click(const QString& what)
    {
        const QMap<QString, QPushButton*> buttons{{"Remove", panel()->removeButton()},
                                                  {"OK", panel()->okButton()},
                                                  {"Cancel", panel()->cancelButton()}};
        QHeaderView* header = table()->horizontalHeader();
        if (what == "Escape")
            return QTest::keyClick(table(), Qt::Key_Escape);
        if (buttons.contains(what))
            return QTest::mouseClick(buttons[what], Qt::LeftButton);
        if (what == "header")
            return QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                                     QPoint(header->sectionViewportPosition(2) + 10, 5));
        const bool www = what.startsWith("www+");
        const int row = int(shownNames().indexOf(what.section('+', -1)));
        QRect at = table()->visualRect(table()->model()->index(row, www ? 1 : 0));
        if (www)
            at = *panel()->descriptionCell()->layout(at, table()).www;
        const auto modifiers = what.startsWith("Ctrl+") ? Qt::ControlModifier : Qt::NoModifier;
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, at.center());
    }

    EntrySheet* openAddSheet()
    {
        QTest::mouseClick(panel()->addButton(), Qt::LeftButton);
        auto* sheet = qobject_cast<EntrySheet*>(QApplication::activeModalWidget());
        return sheet && QTest::qWaitForWindowExposed(sheet) ? sheet : nullptr;
    }

    // The rows as the view shows them: it learns of new ones only when the table is reloaded.
    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < table()->verticalHeader()->count(); ++row)
            names.append(table()->model()->index(row, 0).data().toString());
        return names;
    }

    LauncherFixture m_launcher;
    std::unique_ptr<HttpFixture> m_server;
    OpenedUrls m_opened;
};

QTEST_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
