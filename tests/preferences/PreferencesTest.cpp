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
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const char* const kSchemes[] = {"http", "https", "javascript", "file"};
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
public slots:
    void openUrl(const QUrl& url) { m_opened.append(url); }

private slots:
    void init()
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        m_launcher.setUp();
        m_server = std::make_unique<HttpFixture>();
        m_opened.clear();
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

    void cleanup()
    {
        m_launcher.tearDown();
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void clicks_data()
    {
        // Each click: a row by its name, with Ctrl held, on its www button, or the address header;
        // then what is seen: Remove's state, the rows, the selected one, what was opened.
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("seen");
        const auto row = [](const char* name, QStringList clicks, const char* seen) {
            QTest::newRow(name) << clicks << QString(seen);
        };
        row("by name", {"Beta"}, "on Alpha,Beta,Gamma Beta ");
        row("address header", {"Beta", "header"}, "on Gamma,Beta,Alpha Beta ");
        row("address twice", {"Beta", "header", "header"}, "on Alpha,Beta,Gamma Beta ");
        row("deselected", {"Beta", "Ctrl+Beta"}, "off Alpha,Beta,Gamma  ");
        row("https website", {"www Beta"}, "on Alpha,Beta,Gamma Beta https://beta.example/");
        row("script as website", {"www Alpha"}, "on Alpha,Beta,Gamma Alpha ");
        row("no website", {"www Gamma"}, "on Alpha,Beta,Gamma Gamma ");
    }
    // Beta stays selected wherever the order puts it; Remove follows the selection; www opens
    // only web addresses.
    void clicks()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, seen);
        QVERIFY(!panel()->removeButton()->isEnabled());
        for (const QString& what : clicks)
            click(what);
        const QModelIndexList selected = table()->selectionModel()->selectedRows();
        const QStringList shown{panel()->removeButton()->isEnabled() ? "on" : "off",
                                shownNames().join(','), selected.value(0).data().toString(),
                                QUrl::toStringList(m_opened).join(' ')};
        QCOMPARE(shown.join(' '), seen);
    }

    void addSheetPrefill_data()
    {
        QTest::addColumn<QString>("kind"); // the type of what the clipboard offers
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selected");
        const char* rows[][5] = {
            {"url", "text/uri-list", "http://feeds.example/l.rss", "http://feeds.example/l.rss",
             "feeds.example/l.rss"},
            {"copied line", "text/plain", "file:///srv/f.txt\n", "file:///srv/f.txt", "/srv/f.txt"},
            {"word", "text/plain", "levels", "levels", ""},
            {"text with a space", "text/plain", "no url", "http://", ""},
            {"nothing", "", "", "http://", ""}};
        for (const auto& [name, kind, pasted, text, selected] : rows)
            QTest::newRow(name) << QString(kind) << QString(pasted) << QString(text)
                                << QString(selected);
    }
    void addSheetPrefill()
    {
        QFETCH(QString, kind);
        QFETCH(QString, pasted);
        QFETCH(QString, text);
        QFETCH(QString, selected);
        auto* data = new QMimeData;
        if (!kind.isEmpty())
            data->setData(kind, pasted.toUtf8());
        QApplication::clipboard()->setMimeData(data);
        const QLineEdit* field = openAddSheet()->repositoryUrl();
        QCOMPARE(QStringList({field->text(), field->selectedText(),
                              QString::number(field->cursorPosition())}),
                 QStringList({text, selected, QString::number(text.size())}));
    }

    void add_data()
    {
        QTest::addColumn<QString>("typed"); // %1 is the server's port; none: Refresh is clicked
        QTest::addColumn<QByteArray>("betaFeed");
        QTest::addColumn<QString>("outcome");
        const char* rows[][3] = {
            {"rss", "http://127.0.0.1:%1/n.rss", "Alpha,Beta,Gamma,New rss R One"},
            // Typed with spaces around and no scheme.
            {"text", "  127.0.0.1:%1/n.txt ", "127.0.0.1,Alpha,Beta,Gamma txt T One,T Two"},
            {"xml", "http://127.0.0.1:%1/n.xml", "127.0.0.1,Alpha,Beta,Gamma xml"},
            {"web page", "http://127.0.0.1:%1/page", "Alpha,Beta,Gamma no feed"},
            {"404 with a feed", "http://127.0.0.1:%1/gone.rss", "Alpha,Beta,Gamma error"},
            {"ftp", "ftp://127.0.0.1:%1/n.rss", "Alpha,Beta,Gamma sheet kept"},
            {"no host", "http://", "Alpha,Beta,Gamma sheet kept"}};
        for (const auto& [name, typed, outcome] : rows)
            QTest::newRow(name) << QString(typed) << kText << QString(outcome);
        QTest::newRow("refused") << HttpFixture::refusedUrl().toString() << kText
                                 << QString("Alpha,Beta,Gamma error");
        // Refresh classifies each feed by its content, whatever its address ends with.
        QTest::newRow("refresh, both markers")
            << QString() << rss("B", "<description>&lt;QuillmorLevels</description>")
            << QString("Alpha,B,Gamma txtrssxml R One,T One,T Two");
        QTest::newRow("refresh, levels document")
            << QString() << kXml << QString("Alpha,Beta,Gamma txtxmlxml T One,T Two");
        QTest::newRow("refresh, neither")
            << QString() << kText << QString("Alpha,Beta,Gamma txttxtxml T One,T Two,T One,T Two");
    }
    void add()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, betaFeed);
        QFETCH(QString, outcome);
        m_server->setResponse("/gone.rss", HttpFixture::answer(404, rss("Gone")));
        m_server->setBody("/b.txt", betaFeed);
        EntrySheet* sheet = nullptr;
        if (typed.isEmpty()) {
            QTest::mouseClick(panel()->refreshButton(), Qt::LeftButton);
        } else {
            QLineEdit* field = (sheet = openAddSheet())->repositoryUrl();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, typed.replace("%1", QString::number(m_server->port())));
            QTest::keyClick(field, Qt::Key_Return);
        }
        QTRY_VERIFY(definition()->preferences()->checkFeedList().isEmpty() && !loading());
        Database stored;
        stored.load();
        // The sources, the formats they were given, the levels they brought, and what the user
        // was shown.
        QStringList seen{values(repos(), "name").join(','), values(repos(), "format").join(""),
                         values(stored, "name").filter(QRegularExpression("^[RT] ")).join(',')};
        if (const Alert* alert = panel()->findChild<Alert*>())
            seen << (alert->messageText() == kNotFeed ? "no feed" : "error");
        if (sheet && sheet->isVisible() && !sheet->message().isEmpty() &&
            m_server->requests().isEmpty())
            seen << "sheet kept";
        seen.removeAll(QString());
        QCOMPARE(seen.join(' '), outcome);
    }

    void close_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("reopened");
        const char* rows[][4] = {
            {"OK", "ok", "Alpha,Gamma", "Alpha,Gamma,d.example"},
            {"Cancel", "cancel", "Beta,Alpha,Gamma", "Alpha,Beta,Gamma,d.example"},
            {"Escape", "escape", "Beta,Alpha,Gamma", "Alpha,Beta,Gamma,d.example"}};
        for (const auto& [name, how, saved, reopened] : rows)
            QTest::newRow(name) << QString(how) << QString(saved) << QString(reopened);
    }
    // Beta is removed, then the panel closed: the list stays as saved on OK and goes back to
    // the saved one otherwise, while Beta's downloadable level stays out of the catalogue and
    // the level table either way. Reopened after the launcher's own refresh added a source, the
    // panel shows it.
    void close()
    {
        QFETCH(QString, how);
        QFETCH(QString, saved);
        QFETCH(QString, reopened);
        QSignalSpy finished(panel(), &QDialog::finished);
        click("Beta");
        QTest::mouseClick(panel()->removeButton(), Qt::LeftButton);
        // A level the sheet's refresh appended: closing sorts the level table again.
        definition()->database()->updateInstall({{"name", "AAA"}, {"urlInstall", "file:///a/"}});
        if (how == "escape")
            QTest::keyClick(table(), Qt::Key_Escape);
        else
            QTest::mouseClick(how == "ok" ? panel()->okButton() : panel()->cancelButton(),
                              Qt::LeftButton);
        Repositories storedList;
        storedList.load();
        Database stored;
        stored.load();
        QStringList seen{QString::number(finished.value(0).value(0).toInt()),
                         values(storedList, "name").join(','),
                         values(stored, "name").filter("B ").join(','),
                         m_launcher.names().filter("B ").join(','),
                         QString::number(panel()->isVisible()),
                         m_launcher.names().value(0)};
        repos().updateEntry({{"urlDownload", "http://d.example/f.txt"}, {"format", "txt"}});
        m_launcher.window()->findChild<QAction*>("actionPreferences")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(panel()));
        QCOMPARE(seen << shownNames().join(','),
                 QStringList(
                     {how == "ok" ? "0" : "-1", saved, "B kept", "B kept", "0", "AAA", reopened}));
    }

private:
    WindowDefinition* definition() const { return m_launcher.definition(); }
    PreferencesPanel* panel() const { return definition()->preferencePanel(); }
    Repositories& repos() const { return *definition()->repositories(); }
    bool loading() const { return definition()->downloadStatus()->isLoading(); }
    QTableView* table() const { return panel()->repositoryTable(); }

    void click(const QString& what)
    {
        QHeaderView* header = table()->horizontalHeader();
        if (what == "header")
            return QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                                     QPoint(header->sectionViewportPosition(2) + 10, 5));
        const bool www = what.startsWith("www ");
        const int row = int(shownNames().indexOf(what.section(QRegularExpression("[ +]"), -1)));
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

    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < table()->model()->rowCount(); ++row)
            names.append(table()->model()->index(row, 0).data().toString());
        return names;
    }

    LauncherFixture m_launcher;
    std::unique_ptr<HttpFixture> m_server;
    QList<QUrl> m_opened;
};

QTEST_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
