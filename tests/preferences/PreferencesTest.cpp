// The preferences panel as a sheet over a main window, wired the way the window definition
// wires it, against the loopback server, a temporary home and the real widgets.

#include "preferences/Preferences.h"
#include "catalogue/Database.h"
#include "cells/DescriptionCell.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "preferences/EntrySheet.h"
#include "preferences/PreferencesPanel.h"
#include "sources/Repositories.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"
#include "transfer/DownloadStatus.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <memory>

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
public slots:
    void openUrl(const QUrl& url) { m_opened.append(url); }

private slots:
    void initTestCase()
    {
        for (const char* scheme : {"http", "https", "javascript", "file"})
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
    }

    void cleanupTestCase()
    {
        for (const char* scheme : {"http", "https", "javascript", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<HttpFixture>();
        m_opened.clear();
        QApplication::clipboard()->clear();
        m_server->setBody("/b.txt", kText);
        m_server->setBody("/z-alpha.rss", rss("Alpha"));
        m_server->setBody("/a.xml", kXml);
        const auto source = [&](const char* name, const char* path, const char* website) {
            return QVariantMap{{"name", name},
                               {"urlDownload", m_server->url(path).toString()},
                               {"urlWebsite", website}};
        };
        UserDefaults::standard().setObject(
            QVariantList{source("Beta", "/b.txt", "https://beta.example/"),
                         source("Alpha", "/z-alpha.rss", "javascript:alert(1)"),
                         source("Gamma", "/a.xml", "")},
            "source");
        const QString beta = m_server->url("/b.txt").toString();
        const auto level = [&](const char* name, const char* install) {
            return QVariantMap{
                {"name", name}, {"guid", name}, {"urlSource", beta}, {"urlInstall", install}};
        };
        m_home->writeCatalogue({level("B loose", ""), level("B kept", "file:///k/")});
        define();
        m_main->show();
        m_panel->open();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel));
    }

    void cleanup()
    {
        m_main.reset();
        m_db.reset();
        m_repos.reset();
        m_server.reset();
        m_home.reset();
    }

    void removeFollowsSelection()
    {
        QList<bool> enabled{m_panel->removeButton()->isEnabled()};
        clickRow(1);
        enabled << m_panel->removeButton()->isEnabled();
        clickRow(1, Qt::ControlModifier);
        QCOMPARE(enabled << m_panel->removeButton()->isEnabled(),
                 QList<bool>({false, true, false}));
    }

    void sorting_data()
    {
        QTest::addColumn<int>("addressClicks");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("by name") << 0 << QStringList{"Alpha", "Beta", "Gamma", "Beta"};
        QTest::newRow("address header") << 1 << QStringList{"Gamma", "Beta", "Alpha", "Beta"};
        QTest::newRow("address header twice") << 2 << QStringList{"Alpha", "Beta", "Gamma", "Beta"};
    }
    void sorting()
    {
        QFETCH(int, addressClicks);
        QFETCH(QStringList, names);
        clickRow(1); // Beta, which stays selected wherever the order puts it
        QHeaderView* header = table()->horizontalHeader();
        for (int i = 0; i < addressClicks; ++i)
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(2) + 10, 5));
        const QModelIndexList selected = table()->selectionModel()->selectedRows();
        QCOMPARE(shownNames() << selected.value(0).data().toString(), names);
    }

    // The launcher's own refresh adds a source while the panel is closed.
    void reopenShowsSourcesAddedMeanwhile()
    {
        QTest::mouseClick(m_panel->okButton(), Qt::LeftButton);
        m_repos->updateEntry({{"urlDownload", "http://d.example/f.txt"}, {"format", "txt"}});
        m_panel->open();
        QCOMPARE(shownNames(), QStringList({"Alpha", "Beta", "Gamma", "d.example"}));
    }

    void addSheetPrefill_data()
    {
        QTest::addColumn<QString>("kind"); // what the clipboard offers
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selected");
        const char* rows[][5] = {
            {"url", "url", "http://feeds.example/l.rss", "http://feeds.example/l.rss",
             "feeds.example/l.rss"},
            {"copied line", "text", "file:///srv/f.txt\n", "file:///srv/f.txt", "/srv/f.txt"},
            {"word", "text", "levels", "levels", ""},
            {"text with a space", "text", "no url", "http://", ""},
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
        if (kind == "url")
            data->setUrls({QUrl(pasted)});
        else if (kind == "text")
            data->setText(pasted);
        QApplication::clipboard()->setMimeData(data);
        const QLineEdit* field = openAddSheet()->repositoryUrl();
        QCOMPARE(QStringList({field->text(), field->selectedText(),
                              QString::number(field->cursorPosition())}),
                 QStringList({text, selected, QString::number(text.size())}));
    }

    void add_data()
    {
        QTest::addColumn<QString>("typed"); // %1 is the server's port
        QTest::addColumn<QString>("outcome");
        const char* rows[][3] = {
            {"rss", "http://127.0.0.1:%1/n.rss", "Alpha,Beta,Gamma,New rss R One"},
            {"text, spaces, no scheme", "  127.0.0.1:%1/n.txt ",
             "127.0.0.1,Alpha,Beta,Gamma txt T One,T Two"},
            {"xml", "http://127.0.0.1:%1/n.xml", "127.0.0.1,Alpha,Beta,Gamma xml"},
            {"web page", "http://127.0.0.1:%1/page", "Alpha,Beta,Gamma no feed"},
            {"404 with a feed", "http://127.0.0.1:%1/gone.rss", "Alpha,Beta,Gamma error"},
            {"ftp", "ftp://127.0.0.1:%1/n.rss", "Alpha,Beta,Gamma sheet kept"},
            {"no host", "http://", "Alpha,Beta,Gamma sheet kept"}};
        for (const auto& [name, typed, outcome] : rows)
            QTest::newRow(name) << QString(typed) << QString(outcome);
        QTest::newRow("refused") << HttpFixture::refusedUrl().toString()
                                 << QString("Alpha,Beta,Gamma error");
    }
    void add()
    {
        QFETCH(QString, typed);
        QFETCH(QString, outcome);
        m_server->setBody("/n.rss", rss("New"));
        m_server->setBody("/n.txt", kText);
        m_server->setBody("/n.xml", kXml);
        m_server->setBody("/page", "<html><body>Hello</body></html>");
        m_server->setResponse("/gone.rss", HttpFixture::answer(404, rss("Gone")));
        const EntrySheet* sheet =
            typeAddress(typed.contains("%1") ? typed.arg(m_server->port()) : typed);
        QTRY_VERIFY(m_prefs->checkFeedList().isEmpty() && !m_status->isLoading());
        Database stored;
        stored.load();
        // The sources, the format of the new one (the others have none), the levels it brought,
        // and what the user was shown.
        QStringList seen{values(*m_repos, "name").join(','), values(*m_repos, "format").join(""),
                         values(stored, "name").filter(QRegularExpression("^[RT] ")).join(',')};
        if (const Alert* alert = m_panel->findChild<Alert*>())
            seen << (alert->messageText() == kNotFeed ? "no feed" : "error");
        if (sheet->isVisible() && !sheet->message().isEmpty() && m_server->requests().isEmpty())
            seen << "sheet kept";
        seen.removeAll(QString());
        QCOMPARE(seen.join(' '), outcome);
    }

    void close_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("shown");
        const char* rows[][4] = {{"OK", "ok", "Alpha,Gamma", "Alpha,Gamma"},
                                 {"Cancel", "cancel", "Beta,Alpha,Gamma", "Alpha,Beta,Gamma"},
                                 {"Escape", "escape", "Beta,Alpha,Gamma", "Alpha,Beta,Gamma"}};
        for (const auto& [name, how, saved, shown] : rows)
            QTest::newRow(name) << QString(how) << QString(saved) << QString(shown);
    }
    // Beta is removed, then the panel closed: the list stays as saved on OK and goes back to
    // the saved one otherwise, while Beta's downloadable level stays gone either way.
    void close()
    {
        QFETCH(QString, how);
        QFETCH(QString, saved);
        QFETCH(QString, shown);
        QSignalSpy finished(m_panel, &QDialog::finished);
        clickRow(1);
        QTest::mouseClick(m_panel->removeButton(), Qt::LeftButton);
        if (how == "escape")
            QTest::keyClick(table(), Qt::Key_Escape);
        else
            QTest::mouseClick(how == "ok" ? m_panel->okButton() : m_panel->cancelButton(),
                              Qt::LeftButton);
        Repositories storedList;
        storedList.load();
        Database stored;
        stored.load();
        QCOMPARE(QStringList({QString::number(finished.value(0).value(0).toInt()),
                              values(storedList, "name").join(','), shownNames().join(','),
                              values(stored, "name").filter("B ").join(','),
                              QString::number(m_panel->isVisible())}),
                 QStringList({how == "ok" ? "0" : "-1", saved, shown, "B kept", "0"}));
    }

    void refreshClassifiesByContent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("format");
        QTest::newRow("both markers")
            << rss("B", "<description>&lt;QuillmorLevels</description>") << "rss";
        QTest::newRow("levels document") << kXml << "xml";
        QTest::newRow("neither") << kText << "txt";
    }
    void refreshClassifiesByContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, format);
        m_server->setBody("/b.txt", content);
        m_server->setBody("/z-alpha.rss", kText);
        QTest::mouseClick(m_panel->refreshButton(), Qt::LeftButton);
        QTRY_VERIFY(m_server->requests().size() == 3 && !m_status->isLoading());
        QCOMPARE(values(*m_repos, "format").join(','),
                 "txt," + format + ",xml"); // Alpha, B..., Gamma
    }

    void www_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("opened");
        QTest::newRow("https website") << 1 << "https://beta.example/";
        QTest::newRow("script as website") << 0 << "";
        QTest::newRow("no website") << 2 << "";
    }
    void www()
    {
        QFETCH(int, row);
        QFETCH(QString, opened);
        const QModelIndex cell = table()->model()->index(row, 1);
        const QRect button =
            *m_panel->descriptionCell()->layout(table()->visualRect(cell), table()).www;
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, button.center());
        QCOMPARE(QUrl::toStringList(m_opened).join(' '), opened);
    }

private:
    // What the window definition does: create, connect, then wake.
    void define()
    {
        m_main = std::make_unique<QMainWindow>();
        m_repos = std::make_unique<Repositories>();
        m_db = std::make_unique<Database>();
        m_db->setRepositories(m_repos.get());
        m_status = new DownloadStatus(m_main.get());
        m_panel = new PreferencesPanel(m_main.get());
        auto* sheet = new EntrySheet(m_panel);
        m_prefs = new Preferences(m_main.get());
        m_prefs->setMainWindow(m_panel);
        m_prefs->setEntrySheet(sheet);
        m_prefs->setRepositoryTable(m_panel->repositoryTable());
        m_prefs->setRepositoryUrl(sheet->repositoryUrl());
        m_prefs->setRemoveRepositoryButton(m_panel->removeButton());
        m_prefs->setDownloadStatus(m_status);
        m_prefs->setRepositories(m_repos.get());
        m_prefs->setDatabase(m_db.get());
        m_prefs->connectActions(m_panel, sheet);
        m_panel->setWindowModality(Qt::WindowModal);
        m_prefs->awakeFromNib();
    }

    QTableView* table() const { return m_panel->repositoryTable(); }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        const QRect rect = table()->visualRect(table()->model()->index(row, 0));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    EntrySheet* openAddSheet()
    {
        QTest::mouseClick(m_panel->addButton(), Qt::LeftButton);
        auto* sheet = qobject_cast<EntrySheet*>(QApplication::activeModalWidget());
        return sheet && QTest::qWaitForWindowExposed(sheet) ? sheet : nullptr;
    }

    EntrySheet* typeAddress(const QString& text)
    {
        EntrySheet* sheet = openAddSheet();
        QTest::keyClick(sheet->repositoryUrl(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(sheet->repositoryUrl(), text);
        QTest::keyClick(sheet->repositoryUrl(), Qt::Key_Return);
        return sheet;
    }

    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < table()->verticalHeader()->count(); ++row)
            names.append(table()->model()->index(row, 0).data().toString());
        return names;
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HttpFixture> m_server;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<Repositories> m_repos;
    std::unique_ptr<Database> m_db;
    DownloadStatus* m_status = nullptr;
    PreferencesPanel* m_panel = nullptr;
    Preferences* m_prefs = nullptr;
    QList<QUrl> m_opened;
};

QTEST_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
