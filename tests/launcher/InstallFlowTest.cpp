#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/UserDefaults.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/ZipBuilder.h"
#include "transfer/DownloadSheet.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// Feeds refreshed, levels installed and updated through the real window, over loopback HTTP.
class InstallFlowTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    template <typename Sheet> static Sheet* modal()
    {
        return qobject_cast<Sheet*>(QApplication::activeModalWidget());
    }
    QString downloads() const { return getDownloadDir().value_or(QString()); }
    // The level folders, hidden ones too: "+" marks one holding the new archive's map, "~" one
    // still holding the old level's.
    QString levels() const
    {
        const QDir dir(home().gameLevelDir());
        QStringList folders = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        for (QString& folder : folders)
            folder += QString(QFile::exists(dir.filePath(folder + "/new.map")) ? "+" : "") +
                      (QFile::exists(dir.filePath(folder + "/map.dat")) ? "~" : "");
        return folders.join(' ');
    }
    // The install states of the entries named so, in table order.
    QString states(const QString& names) const
    {
        QStringList found;
        for (int row = 0; row < launcher()->database()->count(); ++row) {
            const QVariantMap entry = launcher()->database()->objectAtIndex(row);
            if (names.split(' ').contains(entry.value("name").toString()))
                found.append(QString::number(checkInstall(entry)));
        }
        return found.join(' ');
    }
    // An installed level whose feed publishes a newer archive at /<name>.zip.
    QVariantMap installedLevel(const QString& name)
    {
        home().createLevel(name);
        return {{"name", name},
                {"guid", name},
                {"urlDownload", http().url(u'/' + name + ".zip").toString()},
                {"urlInstall", folderUrl(name)},
                {"pubDateInstall", QDateTime::currentDateTimeUtc().addDays(-1)},
                {"pubDateRemote", QDateTime::currentDateTimeUtc()}};
    }
    QByteArray goodArchive() const
    {
        return zipBytes(ZipBuilder().add("levellist.dat", "1").add("new.map", "x"));
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void refresh_data()
    {
        // Sources in list order: a name, then "later" (not due), "xml" (stored format xml, RSS
        // content) or "fail" (refused); plain ones are due text feeds offering "<name>1".
        QTest::addColumn<QString>("sources");
        QTest::addColumn<QString>("fetched");
        QTest::newRow("three due, last first") << "A B C"
                                               << "CBA";
        QTest::newRow("future date skipped, none fetched") << "Alater B"
                                                           << "B";
        QTest::newRow("no source due") << "Alater"
                                       << "";
        QTest::newRow("empty list") << ""
                                    << "";
        QTest::newRow("stored xml read as xml") << "Axml"
                                                << "A";
        QTest::newRow("one failing of three") << "A Bfail C"
                                              << "CA";
    }
    void refresh()
    {
        QFETCH(QString, sources);
        QFETCH(QString, fetched);
        QVariantList list;
        QStringList levels{"Standard"};
        for (const QString& source : sources.split(u' ', Qt::SkipEmptyParts)) {
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
            if (kind.isEmpty())
                levels.append(source + u'1');
        }
        UserDefaults::standard().setObject(list, "source");
        start();
        if (sources.contains("fail"))
            QVERIFY(sheetUp() && !answerSheet().isEmpty());
        QTRY_COMPARE(http().requests().size(), fetched.size());
        QString asked;
        for (const QByteArray& request : http().requests())
            asked += QString::fromLatin1(request.split(' ').value(1).mid(1));
        QCOMPARE(asked, fetched);
        levels.sort();
        QTRY_COMPARE(names(), levels); // saved and reloaded
    }

    void cancelLeavesQueue()
    {
        const QByteArray feedB = "B1\n" + http().url("/B.zip").toEncoded();
        HttpFixture::Response stalled = HttpFixture::answer(200, feedB);
        stalled.stallAfter = 0;
        http().setResponse("/B", stalled);
        http().setBody("/A", "A1\n" + http().url("/A.zip").toEncoded());
        UserDefaults::standard().setObject(
            QVariantList{QVariantMap{{"urlDownload", http().url("/A")}, {"format", "txt"}},
                         QVariantMap{{"urlDownload", http().url("/B")}, {"format", "txt"}}},
            "source");
        start();
        QTRY_VERIFY(modal<DownloadSheet>());
        QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
        QCOMPARE(names(), QStringList{"Standard"});
        http().setBody("/B", feedB);
        QTest::keyClick(window(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(names(), (QStringList{"A1", "B1", "Standard"}));
    }

    void install_data()
    {
        QTest::addColumn<QString>("archive");  // good, html, no list, bad entry
        QTest::addColumn<QString>("existing"); // "installed", "taken" (a local level) or none
        QTest::addColumn<QString>("answer");   // to the question asked, empty for none
        QTest::addColumn<QString>("outcome");  // last sheet | level folders | states
        // An installed level's feed publishes a wrong checksum when a question is answered.
        const auto row = [](const char* name, const char* archive, const char* existing,
                            const char* answer, const QString& outcome) {
            QTest::newRow(name) << archive << existing << answer << outcome;
        };
        const QString done = "New level installed! | ", failed = "The level could not be "
                                                                 "installed. | Castle~ | 1";
        row("free folder", "good", "", "", done + "Castle+ | 2");
        row("get.php", "good", "", "", done + "get+ | 2");
        row("update, no question", "good", "installed", "", done + "Castle+ | 2");
        row("not a zip", "html", "installed", "", failed);
        row("no levellist.dat", "no list", "installed", "", failed);
        row("bad entry", "bad entry", "installed", "", failed);
        row("checksum, Cancel", "good", "installed", "Cancel", " | Castle~ | 1");
        row("checksum, Install Anyway", "good", "installed", "Install Anyway",
            done + "Castle+ | 2");
        row("taken, New Directory", "good", "taken", "New Directory",
            done + "Castle~ Castle2+ | 2 3");
        row("taken twice, New Directory", "good", "taken 2", "New Directory",
            done + "Castle~ Castle2~ Castle3+ | 2 3");
        // Overwrite forgets the local level that had the folder.
        row("taken, Overwrite", "good", "taken", "Overwrite", done + "Castle+ | 2");
        row("taken, Cancel", "good", "taken", "Cancel", " | Castle~ | 0 3");
    }
    void install()
    {
        QFETCH(QString, archive);
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        QFETCH(QString, outcome);
        const QString path = outcome.contains("get+") ? "/get.php" : "/Castle.zip";
        ZipBuilder builder;
        if (archive != u"no list")
            builder.add("levellist.dat", "1");
        if (archive == u"bad entry")
            builder.add("../escape.map", "x");
        http().setBody(path, archive == u"html" ? "<html>busy</html>"
                                                : zipBytes(builder.add("new.map", "x")));
        home().createFile(downloads() + path, "older archive");
        QVariantMap entry{{"name", "Castle"},
                          {"guid", "castle"},
                          {"urlDownload", http().url(path).toString()},
                          {"pubDateRemote", QDateTime::currentDateTimeUtc()}};
        if (existing == u"installed")
            entry = installedLevel("Castle");
        if (existing == u"installed" && !answer.isEmpty())
            entry.insert("sha1Remote", QByteArray(20, 'x'));
        if (existing.startsWith("taken"))
            home().createLevel("Castle");
        if (existing == u"taken 2")
            home().createLevel("Castle2");
        home().writeCatalogue({entry});
        start();
        clickDownload("Castle");
        if (!answer.isEmpty())
            QVERIFY(sheetUp() && !answerSheet(nullptr, answer).isEmpty());
        QString informative;
        QVERIFY(outcome.startsWith(" | ") || sheetUp());
        QCOMPARE(answerSheet(&informative) + " | " + levels() + " | " + states("Castle"), outcome);
        QVERIFY(!outcome.startsWith("New") || informative.contains("\"Castle\""));
        // The new archive replaced the older one, and nothing half-done is left beside it.
        QCOMPARE(QDir(downloads()).entryList(QDir::Files),
                 answer == u"Cancel" && existing == u"installed" ? QStringList()
                                                                 : QStringList{path.mid(1)});
        QVERIFY(QFile::exists(home().dataHome() + "/Trash/files" + path));
    }

    void localFile()
    {
        const QDateTime mtime(QDate(2025, 5, 4), QTime(3, 2, 1), Qt::UTC);
        const QByteArray bytes = zipBytes(ZipBuilder().add("levellist.dat", "1"));
        const QString path = home().createFile("elsewhere/Castle.zip", bytes, mtime);
        start();
        for (const auto& [expected, button] :
             {std::pair{"New level installed!", "OK"}, std::pair{"Directory exists", "Cancel"}}) {
            window()->activateWindow(); // back from the last sheet
            QVERIFY(QTest::qWaitForWindowActive(window()));
            QTest::keyClick(window(), Qt::Key_O, Qt::ControlModifier);
            QTRY_VERIFY(modal<QFileDialog>());
            modal<QFileDialog>()->selectFile(path); // as a pick in its list would
            auto* buttons = modal<QFileDialog>()->findChild<QDialogButtonBox*>("buttonBox");
            QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
            QVERIFY(sheetUp());
            QCOMPARE(answerSheet(nullptr, button), QString(expected));
        }
        const QVariantMap entry = launcher()->database()->objectAtIndex(rowOf("Castle"));
        QCOMPARE(entry.value("pubDateInstall").toDateTime(), mtime);
        QCOMPARE(entry.value("sha1Install").toByteArray(),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Sha1));
        QVERIFY(checkInstall(entry) == NotDownloadable && QFile::exists(path));
    }

    void cancelUnpacking()
    {
        ZipBuilder big;
        big.add("levellist.dat", "1");
        for (int file = 0; file < 4000; ++file)
            big.add(QByteArray::number(file), QByteArray(16384, char(file)), ZipBuilder::Stored);
        http().setBody("/Castle.zip", zipBytes(big));
        home().writeCatalogue({installedLevel("Castle")});
        start();
        clickDownload("Castle");
        QTRY_COMPARE(levels().count(' '), 1); // unpacking into its staging folder
        QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
        QTRY_COMPARE(levels(), QStringLiteral("Castle~"));
    }

    // Three levels with updates, A, B and C, updated from the button beside the counts line;
    // B's archive answers as the row says.
    void updateAll_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("outcome"); // summary | level folders | states | downloads
        QTest::newRow("second archive broken")
            << "no list"
            << "Some updates could not be installed. Levels updated: 2 of 3. B: The archive "
               "holds no \"levellist.dat\". | A+ B~ C+ | 2 1 2 | A.zip B.zip C.zip";
        QTest::newRow("second refused")
            << "404"
            << "Some updates could not be installed. Levels updated: 2 of 3. B: The server "
               "answered 404 Not Found. | A+ B~ C+ | 2 1 2 | A.zip C.zip";
        QTest::newRow("Cancel during the second download")
            << "stall"
            << "Update All was cancelled. Levels updated: 1 of 3. | A+ B~ C~ | 2 1 1 | A.zip";
    }
    void updateAll()
    {
        QFETCH(QString, second);
        QFETCH(QString, outcome);
        for (const char* path : {"/A.zip", "/B.zip", "/C.zip"})
            http().setBody(path, goodArchive());
        HttpFixture::Response broken =
            HttpFixture::answer(second == u"404" ? 404 : 200, zipBytes(ZipBuilder().add("x", "1")));
        broken.stallAfter = second == u"stall" ? 10 : -1;
        http().setResponse("/B.zip", broken);
        home().writeCatalogue({installedLevel("A"), installedLevel("B"), installedLevel("C")});
        start();
        QTest::mouseClick(launcher()->updateAllButton(), Qt::LeftButton);
        if (second == u"stall") {
            QTRY_VERIFY(QFile::exists(downloads() + "/B.zip.download"));
            QVERIFY(!launcher()->updateAllButton()->isEnabled());
            QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
        }
        QString detail;
        QVERIFY(sheetUp());
        QString summary = answerSheet(&detail) + u'\n' + detail;
        QCOMPARE(summary.replace(u'\n', u' ') + " | " + levels() + " | " + states("A B C") + " | " +
                     QDir(downloads()).entryList(QDir::Files).join(' '),
                 outcome);
        QVERIFY(launcher()->updateAllButton()->isEnabled()); // B still has its update
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
