#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/UserDefaults.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/ZipBuilder.h"
#include "transfer/DownloadSheet.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QLabel>
#include <QTest>

// Feeds refreshed, levels installed and updated through the real window, over loopback HTTP.
class InstallFlowTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    template <typename Sheet> static Sheet* modal()
    {
        return qobject_cast<Sheet*>(QApplication::activeModalWidget());
    }
    // A level archive holding new.map: "good", "no list" (no levellist.dat), "big" (slow to
    // unpack) or "stall" (stops after a few bytes).
    HttpFixture::Response archive(const QString& kind) const
    {
        ZipBuilder builder;
        for (int file = 0; kind == u"big" && file < 4000; ++file)
            builder.add(QByteArray::number(file), QByteArray(16384, char(file)),
                        ZipBuilder::Stored);
        builder.add(kind == u"no list" ? "x" : "levellist.dat", "1").add("new.map", "x");
        HttpFixture::Response answer = HttpFixture::answer(200, builder.bytes());
        answer.stallAfter = kind == u"stall" ? 10 : -1;
        return answer;
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Sources in list order: A and D due text feeds offering "A1" and "D1", B (offering "B1")
    // not due before tomorrow, C refused, E stored as xml with RSS content. At start the due
    // ones are fetched, then Refresh All Feeds fetches them all; the failing one says so and
    // the others go on. (The order the queue is worked in is the flows test's.)
    void refresh()
    {
        QVariantList list;
        for (const QString source : {"A", "Blater", "Cfail", "D", "Exml"}) {
            const QString path = u'/' + source.left(1), kind = source.mid(1);
            http().setBody(path, kind == u"xml" ? "<rss><channel><item/></channel></rss>"
                                                : source.left(1).toUtf8() + "1\n" +
                                                      http().url(path + ".zip").toEncoded());
            const QUrl url = kind == u"fail" ? HttpFixture::refusedUrl() : http().url(path);
            QVariantMap record{{"urlDownload", url.toString()},
                               {"format", kind == u"xml" ? "xml" : "txt"}};
            if (kind == u"later")
                record.insert("nextCheckDate", QDateTime::currentDateTimeUtc().addDays(1));
            list.append(record);
        }
        UserDefaults::standard().setObject(list, "source");
        start();
        QVERIFY(sheetUp() && !answerSheet().isEmpty());
        QTRY_COMPARE(names(), (QStringList{"A1", "D1", "Standard"}));      // saved and reloaded
        window()->findChild<QAction*>("actionRefreshAllFeeds")->trigger(); // due or not
        QVERIFY(sheetUp() && !answerSheet().isEmpty());
        QTRY_COMPARE(names(), (QStringList{"A1", "B1", "D1", "Standard"}));
    }

    // Castle's archive is the row's; it is installed by its cell's button, or updated by the
    // Update All button as the second of three levels with updates, A, Castle and Dune. Cancel is
    // clicked while a "stall"ing archive downloads or a "big" one unpacks. What the install
    // itself decides is tested without the window, in the flows' test.
    void install_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("existing"); // "installed" or "taken" (a local level)
        // to the question asked, "Update All", or "unsaved" (the catalogue's place taken by a
        // folder while the level unpacks)
        QTest::addColumn<QString>("answer");
        // the last sheet, with its detail where it tells a failure or sums up |
        // TestHome::levelFolders() | the line under the table, "[Update All]" while that is
        // enabled | the download folder's files | the Trash
        QTest::addColumn<QStringList>("expected");
        // An installed level's feed publishes a wrong checksum when a question is answered.
        const auto row = [](const char* name, const char* archive, const char* existing,
                            const char* answer, const QStringList& end) {
            QTest::newRow(name) << archive << existing << answer << end;
        };
        const QString done = "New level installed!";
        const QString updated = "1 level installed, 0 updates available",
                      waiting = "1 level installed, 1 update available [Update All]";
        row("archive without levellist.dat", "no list", "installed", "",
            {"The level could not be installed. The archive holds no \"levellist.dat\".",
             "Castle (old)", waiting, "Castle.zip", "Castle.zip"});
        row("Cancel while unpacking", "big", "installed", "",
            {"", "Castle (old)", waiting, "Castle.zip", "Castle.zip"});
        // The catalogue's own sheet says what went wrong, and no success is claimed.
        row("catalogue not saved", "big", "installed", "unsaved",
            {"The level catalogue could not be saved.", "Castle (new)", updated, "Castle.zip",
             "Castle Castle.zip"});
        row("checksum, Cancel", "good", "installed", "Cancel",
            {"", "Castle (old)", waiting, "", "Castle.zip"});
        row("checksum, Install Anyway", "good", "installed", "Install Anyway",
            {done, "Castle (new)", updated, "Castle.zip", "Castle Castle.zip"});
        row("taken, New Directory", "good", "taken", "New Directory",
            {done, "Castle (old), Castle2 (new)", "2 levels installed, 0 updates available",
             "Castle.zip", "Castle.zip"});
        row("Update All, second archive broken", "no list", "installed", "Update All",
            {"Some updates could not be installed. Levels updated: 2 of 3. Castle: The archive "
             "holds no \"levellist.dat\".",
             "A (new), Castle (old), Dune (new)",
             "3 levels installed, 1 update available [Update All]", "A.zip Castle.zip Dune.zip",
             "A Castle.zip Dune"});
        row("Cancel while downloading", "stall", "installed", "",
            {"", "Castle (old)", waiting, "Castle.zip Castle.zip.download", ""});
        row("Update All, Cancel while downloading", "stall", "installed", "Update All",
            {"Update All was cancelled. Levels updated: 1 of 3.",
             "A (new), Castle (old), Dune (old)",
             "3 levels installed, 2 updates available [Update All]",
             "A.zip Castle.zip Castle.zip.download", "A"});
    }
    void install()
    {
        QFETCH(QString, archive);
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        const QString path = "/Castle.zip";
        const bool updateAll = answer == u"Update All";
        const bool unsaved = answer == u"unsaved";
        const bool asked = !answer.isEmpty() && !updateAll && !unsaved;
        const HttpFixture::Response served = this->archive(archive);
        http().setResponse(path, served);
        home().createFile(downloads() + path, "older archive");
        QVariantMap entry = installedLevel("Castle");
        entry.insert("urlSource", "http://127.0.0.1:9/feed");
        if (existing != u"installed")
            entry.remove("urlInstall");
        if (existing == u"installed" && asked)
            entry.insert("sha1Remote", QByteArray(20, 'x'));
        QVariantList entries{entry};
        for (const QString name : {"A", "Dune"}) {
            http().setResponse(u'/' + name + ".zip", this->archive("good"));
            if (updateAll)
                entries.append(installedLevel(name));
        }
        home().writeCatalogue(entries);
        start();
        const DescriptionCell::Layout cell = cellLayout("Castle");
        if (updateAll)
            QTest::mouseClick(updateAllButton(), Qt::LeftButton);
        else
            clickAt(cell.install.value_or(cell.update.value_or(QRect())).center());
        if (archive == u"stall" || archive == u"big") {
            // a partial download, or the staging folder beside the levels
            QTRY_VERIFY(archive == u"stall"
                            ? QFile::exists(downloads() + path + ".download")
                            : home().levelFolders().count(", ") == int(entries.size()));
            QVERIFY(!updateAllButton()->isEnabled());
            if (archive == u"stall") // the sheet names the level
                QCOMPARE(modal<DownloadSheet>()->infoLabel()->text(),
                         updateAll ? "Updating Castle (2 of 3)…" : "Downloading Castle");
            if (unsaved)
                QFile::remove(home().cataloguePath()), home().createDir(home().cataloguePath());
            else
                QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
        }
        QFETCH(QStringList, expected);
        if (asked)
            QVERIFY(sheetUp() && !answerSheet(answer).isEmpty());
        // Nothing to answer once the work stopped, otherwise the last sheet.
        QTRY_VERIFY(expected.value(0).isEmpty() ? !QApplication::activeModalWidget() : sheetUp());
        QString sheet = answerSheet();
        // The digest recorded is the one taken as the archive arrived.
        if (sheet == u"New level installed!" || sheet == u"Every update was installed.")
            QCOMPARE(launcher()->database()->objectAtIndex(rowOf("Castle")).value("sha1Install"),
                     QVariant(QCryptographicHash::hash(served.body, QCryptographicHash::Sha1)));
        if (updateAll || sheet == u"The level could not be installed.")
            sheet += u' ' + informative().replace(u'\n', u' ');
        QCOMPARE(
            (QStringList{sheet, home().levelFolders(),
                         launcher()->levelCountsLabel()->text() +
                             (updateAllButton()->isEnabled() ? " [Update All]" : ""),
                         QDir(downloads()).entryList(QDir::Files).join(' '), home().trashed()}),
            expected);
    }

    void localFile()
    {
        const QDateTime mtime(QDate(2025, 5, 4), QTime(3, 2, 1), Qt::UTC);
        const QByteArray bytes = ZipBuilder().add("levellist.dat", "1").bytes();
        const QString path = home().createFile("elsewhere/Castle.zip", bytes, mtime);
        start();
        QTest::keyClick(window(), Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(modal<QFileDialog>());
        modal<QFileDialog>()->selectFile(path);                // as a pick in its list would
        QTest::keyClick(modal<QFileDialog>(), Qt::Key_Return); // its default button, Open
        QVERIFY(sheetUp());
        // The sheet's Play starts the game with the level just installed.
        QCOMPARE(answerSheet("Play"), QStringLiteral("New level installed!"));
        waitForGame();
        QCOMPARE(gamesPlayed(), QStringLiteral("(custom Castle)"));
        const QVariantMap entry = launcher()->database()->objectAtIndex(rowOf("Castle"));
        QCOMPARE(entry.value("pubDateInstall").toDateTime(), mtime);
        QVERIFY(checkInstall(entry) == NotDownloadable && QFile::exists(path));
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
