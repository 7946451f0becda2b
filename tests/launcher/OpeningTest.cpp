#include "catalogue/Database.h"
#include "launcher/CommandLine.h"
#include "launcher/LevelLinks.h"
#include "sources/Repositories.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/ZipBuilder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QTest>

// The launcher asked to open levels from outside its window: its command line, level links
// from web pages, files and addresses dropped on it.
class OpeningTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    static QMessageBox* sheet()
    {
        return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    }
    static QByteArray level()
    {
        return ZipBuilder().add("levellist.dat", "1").add("new.map", "x").bytes();
    }
    QString zip(const QString& name) const { return home().createFile(name, level()); }
    // "~" is the home, "$" the loopback server.
    QString expand(QString text) const
    {
        return text.replace('~', QFileInfo(home().filePath("x")).absolutePath())
            .replace('$', http().url({}).toString());
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        // the URLs to open, or the first line told on standard error
        QTest::addColumn<QStringList>("expected");
        const int run = CommandLine::Run, refuse = CommandLine::Refuse;
        QTest::newRow("none") << QStringList{} << run << QStringList{};
        QTest::newRow("-h") << QStringList{"-h"} << int(CommandLine::ShowHelp) << QStringList{};
        QTest::newRow("--version") << QStringList{"--version", "Castle.zip"}
                                   << int(CommandLine::ShowVersion) << QStringList{};
        QTest::newRow("path, file URL, web address, link")
            << QStringList{"Castle.zip", "file://~/Castle.zip", "https://example.org/Dune.zip",
                           "quillmor://checked-in-the-window"}
            << run
            << QStringList{"file://~/Castle.zip", "file://~/Castle.zip",
                           "https://example.org/Dune.zip", "quillmor://checked-in-the-window"};
        for (const auto& [argument, told] :
             {std::pair{"Gone.zip", "~/Gone.zip is not a file that can be read."},
              {"folder.zip", "~/folder.zip is not a file that can be read."},
              {"ftp://example.org/Dune.zip", "The launcher cannot open \"ftp://example.org/"
                                             "Dune.zip\": it takes level archives on this "
                                             "computer or at http and https addresses, and "
                                             "quillmor links."},
              {"https://example.org/", "\"https://example.org/\" names no archive file."},
              {"--bogus", "Unknown option 'bogus'."},
              {"-platform", "Unknown option 'platform'."}})
            QTest::newRow(argument) << QStringList{"Castle.zip", argument} << refuse
                                    << QStringList{QStringLiteral("quillmor-launcher: ") + told};
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QStringList, expected);
        zip("Castle.zip");
        home().createDir("folder.zip");
        const CommandLine line =
            CommandLine::parse(QStringList{"/usr/bin/quillmor-launcher"} +
                                   arguments.replaceInStrings("~", expand("~")),
                               expand("~"));
        QStringList got;
        for (const QUrl& url : line.urls)
            got.append(url.toString());
        if (line.action == CommandLine::Refuse)
            got.append(line.text.section(u'\n', 0, 0));
        QCOMPARE(int(line.action), action);
        QCOMPARE(got, expected.replaceInStrings("~", expand("~")));
        QCOMPARE(line.exitCode(), line.action == CommandLine::Refuse ? 2 : 0);
    }

    // Help and a wrong argument need no display, and a wrong one starts nothing.
    void commandLineWithoutDisplay_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told");
        QTest::newRow("--help") << "--help" << 0 << "Usage: ";
        QTest::newRow("wrong") << "Gone.zip" << 2 << "quillmor-launcher: ";
    }
    void commandLineWithoutDisplay()
    {
        QFETCH(QString, argument);
        QFETCH(int, status);
        QFETCH(QString, told);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        program.setProcessEnvironment(environment);
        program.start(qEnvironmentVariable("QUILLMOR_BUILD_DIR") + "/quillmor-launcher",
                      {argument});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QByteArray said = program.readAllStandardOutput() + program.readAllStandardError();
        QVERIFY2(said.startsWith(told.toUtf8()), said);
        QVERIFY(!QFileInfo::exists(home().applicationDir()));
    }

    // Every link shows a sheet before anything is fetched: what would be fetched and from
    // where, with Cancel as the default; links it refuses say why.
    void links_data()
    {
        QTest::addColumn<QString>("link");
        // message | informative text | check box | default button
        QTest::addColumn<QStringList>("expected");
        const QString fetch = "A link asks the launcher to download $/Castle.zip and install "
                              "the level in it. Install levels only from sites you trust.";
        QTest::newRow("install") << "quillmor://install?url=$/Castle.zip"
                                 << QStringList{"Install \"Castle.zip\" from 127.0.0.1?", fetch, "",
                                                "Cancel"};
        QTest::newRow("install, with a feed")
            << "quillmor://install?url=$/Castle.zip&feed=https://feeds.example.net/all/l.rss"
            << QStringList{"Install \"Castle.zip\" from 127.0.0.1?", fetch,
                           "Also add the level feed \"l.rss\" from feeds.example.net", "Cancel"};
        QTest::newRow("add a feed")
            << "quillmor:add-feed?url=$/l.rss"
            << QStringList{"Add the level feed \"l.rss\" from 127.0.0.1?",
                           "A link asks the launcher to read the feed $/l.rss and list the levels "
                           "it offers. The feed is read again at every start.",
                           "", "Cancel"};
        const QString other = "The launcher fetches levels and feeds over http and https only, "
                              "not from \"%1\".";
        for (const auto& [name, link, told] :
             {std::tuple{"ftp", "quillmor://install?url=ftp://example.org/Castle.zip",
                         other.arg("ftp://example.org/Castle.zip")},
              {"file feed", "quillmor://install?url=$/Castle.zip&feed=file:///etc/passwd",
               other.arg("file:///etc/passwd")},
              {"javascript", "quillmor://add-feed?url=javascript:alert(1)",
               other.arg("javascript:alert(1)")},
              {"unknown form", "quillmor://remove?url=$/Castle.zip",
               "The link asks for \"remove\", which the launcher does not know."},
              {"no address", "quillmor://install", "The link names no address to fetch."},
              {"no archive", "quillmor://install?url=$/", "\"$/\" names no archive file."}})
            QTest::newRow(name) << QString(link)
                                << QStringList{"This cannot be opened.", told, "", "OK"};
    }
    void links()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, expected);
        start();
        definition()->levelLinks()->open({QUrl(expand(link))});
        QVERIFY(sheetUp());
        const QStringList seen{sheet()->text(), sheet()->informativeText(),
                               sheet()->checkBox() ? sheet()->checkBox()->text() : "",
                               sheet()->defaultButton()->text()};
        QTest::keyClick(sheet(), Qt::Key_Return);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QTest::qWait(100);
        const QStringList labels{"message", "informative", "check box", "default", "fetched"};
        QCOMPARE(labelled(labels, seen + QStringList{QString::number(http().requests().size())}),
                 labelled(labels, expected.replaceInStrings("$", expand("$")) + QStringList{"0"}));
    }

    // An archive that a catalogue entry lists (or, once added, the link's feed) installs that
    // entry; any other becomes a level of this computer.
    void linkInstalls_data()
    {
        QTest::addColumn<QString>("listedBy"); // a feed of the catalogue, the link's feed, none
        QTest::addColumn<QString>("source");   // the installed level's feed afterwards
        QTest::newRow("a feed of the catalogue") << "catalogue"
                                                 << "http://127.0.0.1:9/feed";
        QTest::newRow("the link's feed") << "link"
                                         << "$/levels.txt";
        QTest::newRow("nobody") << ""
                                << "";
    }
    void linkInstalls()
    {
        QFETCH(QString, listedBy);
        QFETCH(QString, source);
        http().setBody("/Castle.zip", level());
        http().setBody("/levels.txt", "Castle\n" + http().url("/Castle.zip").toEncoded());
        if (listedBy == u"catalogue")
            home().writeCatalogue({QVariantMap{{"name", "Castle"},
                                               {"guid", "c"},
                                               {"urlSource", "http://127.0.0.1:9/feed"},
                                               {"urlDownload", expand("$/Castle.zip")}}});
        start();
        definition()->levelLinks()->open(
            {QUrl(expand("quillmor://install?url=$/Castle.zip&feed=$/levels.txt"))});
        QVERIFY(sheetUp());
        if (listedBy == u"link")
            sheet()->checkBox()->click();
        answerSheet("Install");
        QVERIFY(sheetUp());
        const QString told = answerSheet();
        QCOMPARE((QStringList{told, names().join(' '), home().levelFolders(),
                              launcher()
                                  ->database()
                                  ->objectAtIndex(rowOf("Castle"))
                                  .value("urlSource")
                                  .toString()}),
                 (QStringList{"New level installed!", "Castle Standard", "Castle (new)",
                              expand(source)}));
    }

    // Zips dropped together are installed in turn with one summary; a drag that carries
    // anything else is not taken, and nothing is said.
    void drop_data()
    {
        QTest::addColumn<QStringList>("files");
        // the drag taken, the indication shown | the sheet at the end | its detail | folders
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two zips") << QStringList{"A.zip", "B.zip"}
                                  << QStringList{"taken", "Every level was installed.",
                                                 "Levels installed: 2 of 2.", "A (new), B (new)"};
        QTest::newRow("a text file")
            << QStringList{"notes.txt"} << QStringList{"refused", "", "", ""};
        QTest::newRow("a zip and a text file")
            << QStringList{"A.zip", "notes.txt"} << QStringList{"refused", "", "", ""};
    }
    void drop()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        start();
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : files)
            urls.append(QUrl::fromLocalFile(name.endsWith(".zip") ? zip(name)
                                                                  : home().createFile(name, "x")));
        data.setUrls(urls);
        const QPoint at = window()->rect().center();
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window(), &enter);
        const bool shown = window()->findChild<QWidget*>("dropIndication")->isVisible();
        QStringList seen{enter.isAccepted() && enter.dropAction() == Qt::CopyAction && shown
                             ? "taken"
                         : enter.isAccepted() || shown ? "half taken"
                                                       : "refused"};
        QDropEvent drop(at, offered, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window(), &drop);
        if (seen.first() == u"taken")
            QVERIFY(sheetUp());
        else
            QTest::qWait(300);
        const QString told = answerSheet();
        seen << told << (told.isEmpty() ? "" : informative()) << home().levelFolders();
        QCOMPARE(seen, expected);
    }
};

QTEST_MAIN(OpeningTest)
#include "OpeningTest.moc"
