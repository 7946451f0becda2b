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
#include <QRegularExpression>
#include <QTest>

// How an install through the window left things.
struct WindowEnd
{
    QString sheet = {};   // the last one, with its detail where it tells a failure or sums up
    QString folders = {}; // TestHome::levelFolders()
    QString counts = {};  // the line under the table, "[Update All]" while that is enabled
    QString downloads = {};
    QString trash = {};
    bool operator==(const WindowEnd&) const = default;
};
Q_DECLARE_METATYPE(WindowEnd)

char* toString(const WindowEnd& end)
{
    return QTest::toString(
        QStringLiteral("sheet: %1; folders: %2; counts: %3; downloads: %4; trash: %5")
            .arg(end.sheet, end.folders, end.counts, end.downloads, end.trash));
}

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
        HttpFixture::Response answer = HttpFixture::answer(200, zipBytes(builder));
        answer.stallAfter = kind == u"stall" ? 10 : -1;
        return answer;
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Sources in list order: A and D due text feeds offering "A1" and "D1", B (offering "B1")
    // not due before tomorrow, C refused, E stored as xml with RSS content. At start the due
    // ones are fetched last first, then Refresh All Feeds fetches them all; the failing one
    // says so and the others go on.
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
        QString asked;
        for (const QByteArray& request : http().requests())
            asked += QString::fromLatin1(request.split(' ').value(1).mid(1));
        QCOMPARE(asked, QStringLiteral("EDAEDBA"));
    }

    // Castle's archive is the row's; it is installed by its cell's button, or updated by the
    // Update All button as the second of three levels with updates, A, Castle and Dune. Cancel is
    // clicked while a "stall"ing archive downloads or a "big" one unpacks. What the install
    // itself decides is tested without the window, in the flows' test.
    void install_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("existing"); // "installed" or "taken" (a local level)
        // to the question asked, "Update All", or "disk full" (the catalogue's disk, filled
        // while the level unpacks)
        QTest::addColumn<QString>("answer");
        QTest::addColumn<WindowEnd>("expected");
        // An installed level's feed publishes a wrong checksum when a question is answered.
        const auto row = [](const char* name, const char* archive, const char* existing,
                            const char* answer, const WindowEnd& end) {
            QTest::newRow(name) << archive << existing << answer << end;
        };
        // sheet, folders, counts, downloads, trash
        const QString done = "New level installed!";
        const QString updated = "1 level installed, 0 updates available",
                      waiting = "1 level installed, 1 update available [Update All]";
        row("archive without levellist.dat", "no list", "installed", "",
            {"The level could not be installed. The archive holds no \"levellist.dat\".",
             "Castle (old)", waiting, "Castle.zip", "Castle.zip"});
        row("Cancel while unpacking", "big", "installed", "",
            {"", "Castle (old)", waiting, "Castle.zip", "Castle.zip"});
        // The catalogue's own sheet says what went wrong, and no success is claimed.
        row("catalogue not saved", "big", "installed", "disk full",
            {"The level catalogue could not be saved.", "Castle (new)", updated, "",
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
        row("Update All, Cancel while downloading", "stall", "installed", "Update All",
            {"Update All was cancelled. Levels updated: 1 of 3.",
             "A (new), Castle (old), Dune (old)",
             "3 levels installed, 2 updates available [Update All]", "A.zip Castle.zip", "A"});
    }
    void install()
    {
        QFETCH(QString, archive);
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        const QString path = "/Castle.zip";
        const bool updateAll = answer == u"Update All";
        const bool diskFull = answer == u"disk full";
        const bool asked = !answer.isEmpty() && !updateAll && !diskFull;
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
            if (diskFull) {
                // Without the catalogue's backup copy, whose replacement would free room.
                QFile::remove(home().applicationDir() + "/database.backup.plist");
                const QString why = home().mountFullDisk(home().applicationDir());
                if (!why.isEmpty())
                    QSKIP(qPrintable(why));
            } else {
                QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
            }
        }
        QFETCH(WindowEnd, expected);
        if (asked)
            QVERIFY(sheetUp() && !answerSheet(answer).isEmpty());
        // Nothing to answer once the work stopped, otherwise the last sheet.
        QTRY_VERIFY(expected.sheet.isEmpty() ? !QApplication::activeModalWidget() : sheetUp());
        QString sheet = answerSheet();
        // The digest recorded is the one taken as the archive arrived.
        if (sheet == u"New level installed!" || sheet == u"Every update was installed.")
            QCOMPARE(launcher()->database()->objectAtIndex(rowOf("Castle")).value("sha1Install"),
                     QVariant(QCryptographicHash::hash(served.body, QCryptographicHash::Sha1)));
        if (updateAll || sheet == u"The level could not be installed.")
            sheet += u' ' + informative().replace(u'\n', u' ');
        const WindowEnd seen{sheet, home().levelFolders(),
                             launcher()->levelCountsLabel()->text() +
                                 (updateAllButton()->isEnabled() ? " [Update All]" : ""),
                             QDir(downloads()).entryList(QDir::Files).join(' '), trash()};
        QCOMPARE(seen, expected);
    }

    void localFile()
    {
        const QDateTime mtime(QDate(2025, 5, 4), QTime(3, 2, 1), Qt::UTC);
        const QByteArray bytes = zipBytes(ZipBuilder().add("levellist.dat", "1"));
        const QString path = home().createFile("elsewhere/Castle.zip", bytes, mtime);
        start();
        QTest::keyClick(window(), Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(modal<QFileDialog>());
        modal<QFileDialog>()->selectFile(path);                // as a pick in its list would
        QTest::keyClick(modal<QFileDialog>(), Qt::Key_Return); // its default button, Open
        QVERIFY(sheetUp());
        QCOMPARE(answerSheet(), QStringLiteral("New level installed!"));
        const QVariantMap entry = launcher()->database()->objectAtIndex(rowOf("Castle"));
        QCOMPARE(entry.value("pubDateInstall").toDateTime(), mtime);
        QVERIFY(checkInstall(entry) == NotDownloadable && QFile::exists(path));
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
