// The preferences panel as a sheet over the launcher's real window, opened from its menu,
// against the loopback server, a temporary home and the real widgets.

#include "preferences/Preferences.h"
#include "catalogue/Database.h"
#include "platform/Alert.h"
#include "platform/UserDefaults.h"
#include "preferences/EntrySheet.h"
#include "preferences/PreferencesPanel.h"
#include "sources/Repositories.h"
#include "tests/launcher/LauncherFixture.h"
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

class PreferencesTest : public QObject, private LauncherFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        setUp();
        m_opened.list.clear();
        for (const char* path : {"/b.txt", "/z-alpha.rss", "/n.txt", "/a.xml"})
            http().setBody(path, QByteArray(path).endsWith(".xml") ? kXml : kText);
        http().setBody("/n.rss", rss("New"));
        http().setBody("/page", "<html><body>Hello</body></html>");
        // Checked a moment ago, so the launcher's start-up refresh leaves them alone.
        const auto source = [&](const char* name, const char* path, const char* website) {
            return QVariantMap{{"name", name},
                               {"urlDownload", http().url(path).toString()},
                               {"urlWebsite", website},
                               {"nextCheckDate", QDateTime::currentDateTimeUtc().addDays(1)}};
        };
        UserDefaults::standard().setObject(
            QVariantList{source("Beta", "/b.txt", "https://beta.example/"),
                         source("Alpha", "/z-alpha.rss", "javascript:alert(1)"),
                         source("Gamma", "/a.xml", "")},
            "source");
        const QString beta = http().url("/b.txt").toString();
        const QVariantMap loose{{"name", "B loose"}, {"guid", "B loose"}, {"urlSource", beta}};
        QVariantMap kept{{"name", "B kept"}, {"guid", "B kept"}, {"urlSource", beta}};
        kept["urlInstall"] = "file:///k/";
        home().writeCatalogue({loose, kept});
        start();
        QVERIFY(openPanel());
    }
    void cleanup() { tearDown(); }

    // Gestures on the panel in order: a row's name (with Ctrl held, or on its www button), the
    // address header, Remove, and a close by OK, Cancel or Escape. Then what is seen: Remove's
    // state, the rows, the selected one, what was opened; after a close instead the code it
    // ended with, the saved list, Beta's levels in the catalogue and the level table, whether
    // the panel shows, the level table's first row and its selected one (Standard, whatever
    // the merge removed above it), and the rows on reopening. The sheet's refresh appended the
    // level "AAA" meanwhile; the launcher's adds "d.example" once it is closed.
    void gestures_data()
    {
        QTest::addColumn<QString>("seen");
        const QString closed = "-1 Beta,Alpha,Gamma B loose,B kept B kept,B loose 0 AAA Standard "
                               "Alpha,Beta,Gamma,d.example";
        QTest::newRow("Beta header") << QString("on Gamma,Beta,Alpha Beta ");
        QTest::newRow("Beta Ctrl+Beta") << QString("off Alpha,Beta,Gamma  ");
        QTest::newRow("www+Beta") << QString("on Alpha,Beta,Gamma Beta https://beta.example/");
        QTest::newRow("www+Alpha") << QString("on Alpha,Beta,Gamma Alpha ");
        QTest::newRow("Beta Remove OK")
            << QString("0 Alpha,Gamma B kept B kept 0 AAA Standard Alpha,Gamma,d.example");
        QTest::newRow("Beta Remove Cancel") << closed;
        QTest::newRow("Beta Remove Escape") << closed;
    }
    // The row's tag is its gestures.
    void gestures()
    {
        QFETCH(QString, seen);
        QSignalSpy finished(panel(), &QDialog::finished);
        definition()->database()->updateInstall({{"name", "AAA"}, {"urlInstall", "file:///a/"}});
        QVERIFY(!panel()->removeButton()->isEnabled());
        for (const QString& gesture : QString(QTest::currentDataTag()).split(' '))
            click(gesture);
        QStringList shown;
        if (finished.isEmpty()) {
            shown << (panel()->removeButton()->isEnabled() ? "on" : "off") << shownNames().join(',')
                  << sources()->selectionModel()->selectedRows().value(0).data().toString()
                  << m_opened.list.join(' ');
        } else {
            Repositories storedList;
            storedList.load();
            Database stored;
            stored.load();
            shown << QString::number(finished.value(0).value(0).toInt())
                  << values(storedList, "name").join(',')
                  << values(stored, "name").filter("B ").join(',') << names().filter("B ").join(',')
                  << QString::number(panel()->isVisible()) << names().value(0) << selectedName();
            repos().updateEntry({{"urlDownload", "http://d.example/f.txt"}, {"format", "txt"}});
            QVERIFY(openPanel());
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
        // %1 is the server's port; a leading + types after the proposed text; none: Refresh
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("outcome");
        const char* rows[][4] = {
            {"url", "http://feeds.example/l.rss", "http://127.0.0.1:%1/n.rss",
             "http://feeds.example/l.rss [feeds.example/l.rss] Alpha,Beta,Gamma,New rss R One"},
            {"copied line, text typed with spaces and no scheme", "file:///srv/f.txt\n",
             "  127.0.0.1:%1/n.txt ",
             "file:///srv/f.txt [/srv/f.txt] 127.0.0.1,Alpha,Beta,Gamma txt T One,T Two"},
            {"text with a space", "no url", "http://127.0.0.1:%1/page",
             "http:// [] Alpha,Beta,Gamma no feed"},
            {"404 with a feed", "", "http://127.0.0.1:%1/gone.rss",
             "http:// [] Alpha,Beta,Gamma error"},
            {"typed after the proposed scheme", "", "+http://127.0.0.1:%1/n.rss",
             "http:// [] Alpha,Beta,Gamma,New rss R One"},
            {"ftp", "", "+ftp://127.0.0.1:%1/n.rss", "http:// [] Alpha,Beta,Gamma sheet kept"},
            {"no host", "", "http://", "http:// [] Alpha,Beta,Gamma sheet kept"},
            {"refresh", "", "", "Alpha,B,Gamma txtrssxml R One,T One,T Two"}};
        for (const auto& [name, pasted, typed, outcome] : rows)
            QTest::newRow(name) << QString(pasted) << QString(typed) << QString(outcome);
    }
    void add()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, typed);
        QFETCH(QString, outcome);
        http().setResponse("/gone.rss", HttpFixture::answer(404, rss("Gone")));
        auto* data = new QMimeData;
        data->setData(pasted.startsWith("http") ? "text/uri-list" : "text/plain", pasted.toUtf8());
        QApplication::clipboard()->setMimeData(data);
        EntrySheet* sheet = nullptr;
        QStringList seen;
        if (typed.isEmpty()) {
            // Each feed is classified by its content, whatever its address ends with: Beta's
            // holds both markers, Alpha's ".rss" address serves text, Gamma's the levels list.
            http().setBody("/b.txt",
                           rss("B", "<description><![CDATA[<QuillmorLevels]]></description>"));
            QTest::mouseClick(panel()->refreshButton(), Qt::LeftButton);
        } else {
            QTest::mouseClick(panel()->addButton(), Qt::LeftButton);
            sheet = qobject_cast<EntrySheet*>(QApplication::activeModalWidget());
            QVERIFY(sheet && QTest::qWaitForWindowExposed(sheet));
            QLineEdit* field = sheet->repositoryUrl();
            seen << field->text() + " [" + field->selectedText() + "]";
            if (!typed.startsWith('+')) // else typed after the proposed text, the cursor's place
                QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field,
                             typed.remove('+').replace("%1", QString::number(http().port())));
            QTest::keyClick(field, Qt::Key_Return);
        }
        QTRY_VERIFY(definition()->preferences()->checkFeedList().isEmpty() &&
                    !definition()->downloadStatus()->isLoading());
        // The refresh's end comes through the event loop, and only then names an address that
        // serves no feed.
        QCoreApplication::processEvents();
        Database stored;
        stored.load();
        seen << values(repos(), "name").join(',') << values(repos(), "format").join("")
             << values(stored, "name").filter(QRegularExpression("^[RT] ")).join(',');
        if (const Alert* alert = panel()->findChild<Alert*>())
            seen << (alert->messageText() == kNotFeed ? "no feed" : "error");
        if (sheet && sheet->isVisible() && !sheet->message().isEmpty() &&
            http().requests().isEmpty())
            seen << "sheet kept";
        seen.removeAll(QString());
        QCOMPARE(seen.join(' '), outcome);
    }

private:
    PreferencesPanel* panel() const { return definition()->preferencePanel(); }
    Repositories& repos() const { return *definition()->repositories(); }
    QTableView* sources() const { return panel()->repositoryTable(); }
    bool openPanel() const
    {
        window()->findChild<QAction*>("actionPreferences")->trigger();
        return QTest::qWaitForWindowExposed(panel());
    }

    void click(const QString& what)
    {
        const QMap<QString, QPushButton*> buttons{{"Remove", panel()->removeButton()},
                                                  {"OK", panel()->okButton()},
                                                  {"Cancel", panel()->cancelButton()}};
        if (what == "Escape")
            return QTest::keyClick(sources(), Qt::Key_Escape);
        if (buttons.contains(what))
            return QTest::mouseClick(buttons[what], Qt::LeftButton);
        if (const QHeaderView* header = sources()->horizontalHeader(); what == "header")
            return QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                                     QPoint(header->sectionViewportPosition(2) + 10, 5));
        const bool www = what.startsWith("www+");
        const int row = int(shownNames().indexOf(what.section('+', -1)));
        const QModelIndex index = sources()->model()->index(row, www ? 1 : 0);
        QRect at = sources()->visualRect(index);
        if (www)
            at = *panel()->descriptionCell()->layout(at, index, sources()).www;
        const auto modifiers = what.startsWith("Ctrl+") ? Qt::ControlModifier : Qt::NoModifier;
        QTest::mouseClick(sources()->viewport(), Qt::LeftButton, modifiers, at.center());
    }

    // The rows as the view shows them: it learns of new ones only when the table is reloaded.
    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < sources()->verticalHeader()->count(); ++row)
            names.append(sources()->model()->index(row, 0).data().toString());
        return names;
    }

    OpenedUrls m_opened;
};

QTEST_MAIN(PreferencesTest)
#include "PreferencesTest.moc"
