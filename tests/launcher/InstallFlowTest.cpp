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

// Feeds refreshed, levels installed and updated through the real window, over loopback HTTP.
class InstallFlowTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    template <typename Sheet> static Sheet* modal()
    {
        return qobject_cast<Sheet*>(QApplication::activeModalWidget());
    }
    // The counts line's figures, levels installed and updates available; "+" while Update All
    // is enabled.
    QString counts() const
    {
        QString line = launcher()->levelCountsLabel()->text();
        line.remove(QRegularExpression("[^\\d ]"));
        return line.simplified() + (updateAllButton()->isEnabled() ? "+" : "");
    }
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
    // A level archive holding new.map: "good", "no list" (no levellist.dat), "big" (slow to
    // unpack) or "stall" (stops after a few bytes); "empty" is an answer without a body.
    HttpFixture::Response archive(const QString& kind) const
    {
        if (kind == u"empty")
            return HttpFixture::answer(200);
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
    // clicked while a "stall"ing archive downloads or a "big" one unpacks.
    void install_data()
    {
        QTest::addColumn<QString>("archive");
        // "installed", "taken" (a local level) or none; ", twin": Bastion, of another feed,
        // lists the same archive under the same guid.
        QTest::addColumn<QString>("existing");
        // to the question asked, "Update All", or "disk full" (the catalogue's disk, filled
        // while the level unpacks)
        QTest::addColumn<QString>("answer");
        // last sheet (with its reason when it is a failure's) | folders | counts | downloads
        // (Trash), then for a twin each level's install state
        QTest::addColumn<QString>("outcome");
        // An installed level's feed publishes a wrong checksum when a question is answered.
        const auto row = [](const char* name, const char* archive, const char* existing,
                            const char* answer, const QString& outcome) {
            QTest::newRow(name) << archive << existing << answer << outcome;
        };
        // "trashed": the old level folder and the archive it came from went to the Trash.
        const QString done = "New level installed! | ";
        const QString kept = " | Castle.zip (Castle.zip)",
                      trashed = " | Castle.zip (Castle Castle.zip)";
        const QString failed = "The level could not be installed. ";
        row("free folder", "good", "", "", done + "Castle+ | 1 0" + kept);
        row("update, no question", "good", "installed", "", done + "Castle+ | 1 0" + trashed);
        row("archive without levellist.dat", "no list", "installed", "",
            failed + "The archive holds no \"levellist.dat\". | Castle~ | 1 1+" + kept);
        // The archive already there is not traded for nothing.
        row("empty answer", "empty", "installed", "",
            failed + "The server sent an empty file. | Castle~ | 1 1+ | Castle.zip ()");
        // The level clicked is the one installed, however many others offer its archive.
        row("another feed lists the archive", "good", "twin", "",
            done + "Castle+ | 1 0" + kept + " | Bastion 0 Castle 2");
        row("Cancel while unpacking", "big", "installed", "", " | Castle~ | 1 1+" + kept);
        // The catalogue's own sheet says what went wrong, and no success is claimed.
        row("catalogue not saved", "big", "installed", "disk full",
            "The level catalogue could not be saved. | Castle+ | 1 0 |  (Castle Castle.zip)");
        row("checksum, Cancel", "good", "installed", "Cancel", " | Castle~ | 1 1+ |  (Castle.zip)");
        row("checksum, Install Anyway", "good", "installed", "Install Anyway",
            done + "Castle+ | 1 0" + trashed);
        row("taken, New Directory", "good", "taken", "New Directory",
            done + "Castle~ Castle2+ | 2 0" + kept);
        // Overwrite forgets the local level that had the folder.
        row("taken, Overwrite", "good", "taken", "Overwrite", done + "Castle+ | 1 0" + trashed);
        row("taken, Cancel", "good", "taken", "Cancel", " | Castle~ | 1 0" + kept);
        row("Update All, second archive broken", "no list", "installed", "Update All",
            "Some updates could not be installed. Levels updated: 2 of 3. Castle: The archive "
            "holds no \"levellist.dat\". | A+ Castle~ Dune+ | 3 1+ | A.zip Castle.zip Dune.zip "
            "(A Castle.zip Dune)");
        row("Update All, another feed lists an archive", "good", "installed, twin", "Update All",
            "Every update was installed. Levels updated: 3 of 3. | A+ Castle+ Dune+ | 3 0 | A.zip "
            "Castle.zip Dune.zip (A Castle Castle.zip Dune) | Bastion 0 Castle 2");
        row("Update All, Cancel while downloading", "stall", "installed", "Update All",
            "Update All was cancelled. Levels updated: 1 of 3. | A+ Castle~ Dune~ | 3 2+ | A.zip "
            "Castle.zip (A)");
    }
    void install()
    {
        QFETCH(QString, archive);
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        QFETCH(QString, outcome);
        const QString path = "/Castle.zip";
        const bool updateAll = answer == u"Update All";
        const bool diskFull = answer == u"disk full";
        const bool asked = !answer.isEmpty() && !updateAll && !diskFull;
        const bool twin = existing.endsWith(u"twin");
        existing.remove(QRegularExpression("(, )?twin$"));
        const HttpFixture::Response served = this->archive(archive);
        http().setResponse(path, served);
        home().createFile(downloads() + path, "older archive");
        QVariantMap entry = installedLevel("Castle");
        entry.insert("urlDownload", http().url(path).toString());
        entry.insert("urlSource", "http://127.0.0.1:9/feed");
        if (existing != u"installed")
            entry.remove("urlInstall");
        if (existing.isEmpty())
            QDir(home().gameLevelDir() + "/Castle").removeRecursively();
        if (existing == u"installed" && asked)
            entry.insert("sha1Remote", QByteArray(20, 'x'));
        QVariantList entries{entry};
        if (twin)
            entries.append(QVariantMap{{"name", "Bastion"},
                                       {"guid", "Castle"},
                                       {"urlSource", "http://127.0.0.1:9/other"},
                                       {"urlDownload", entry.value("urlDownload")},
                                       {"pubDateRemote", entry.value("pubDateRemote")}});
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
            QTRY_VERIFY(archive == u"stall" ? QFile::exists(downloads() + path + ".download")
                                            : levels().count(' ') == int(entries.size()));
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
        if (asked)
            QVERIFY(sheetUp() && !answerSheet(answer).isEmpty());
        // Nothing to answer once the work stopped, otherwise the last sheet.
        QTRY_VERIFY(outcome.startsWith(" | ") ? !QApplication::activeModalWidget() : sheetUp());
        QString sheet = answerSheet();
        // The digest recorded is the one taken as the archive arrived.
        if (sheet == u"New level installed!" || sheet == u"Every update was installed.")
            QCOMPARE(launcher()->database()->objectAtIndex(rowOf("Castle")).value("sha1Install"),
                     QVariant(QCryptographicHash::hash(served.body, QCryptographicHash::Sha1)));
        if (updateAll || sheet == u"The level could not be installed.")
            sheet += u' ' + informative().replace(u'\n', u' ');
        QString states;
        for (const QString name : {"Bastion", "Castle"}) {
            if (twin)
                states += u' ' + name + u' ' +
                          QString::number(
                              checkInstall(launcher()->database()->objectAtIndex(rowOf(name))));
        }
        QCOMPARE(sheet + " | " + levels() + " | " + counts() + " | " +
                     QDir(downloads()).entryList(QDir::Files).join(' ') + " (" + trash() + ')' +
                     (twin ? " |" + states : QString()),
                 outcome);
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
        QCOMPARE(entry.value("sha1Install").toByteArray(),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Sha1));
        QVERIFY(checkInstall(entry) == NotDownloadable && QFile::exists(path));
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
