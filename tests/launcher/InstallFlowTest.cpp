#include "catalogue/Database.h"
#include "cells/DescriptionCell.h"
#include "install/Locations.h"
#include "platform/UserDefaults.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/ZipBuilder.h"
#include "transfer/DownloadSheet.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// Feeds refreshed and levels installed through the real window, over loopback HTTP.
class InstallFlowTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    static constexpr QDir::Filters kFolders = QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot;
    std::unique_ptr<HttpFixture> m_http;

    static bool sheetUp()
    {
        return QTest::qWaitFor(
            [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 20000);
    }
    template <typename Sheet> static Sheet* modal()
    {
        return qobject_cast<Sheet*>(QApplication::activeModalWidget());
    }
    QByteArray zip(const ZipBuilder& builder) const
    {
        QFile file(home().filePath("made.zip"));
        return builder.write(file.fileName()) && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                                : QByteArray();
    }
    bool inLevel(const QString& folder, const QString& name) const
    {
        return QFile::exists(home().gameLevelDir() + u'/' + folder + u'/' + name);
    }
    QVariantMap entryOf(const QString& guid) const
    {
        for (qsizetype index = 0; index < launcher()->database()->count(); ++index) {
            if (launcher()->database()->objectAtIndex(index).value("guid") == guid)
                return launcher()->database()->objectAtIndex(index);
        }
        return {};
    }
    // Clicks the row's install or update button, whichever it shows.
    void clickDownload(const QString& name)
    {
        const QModelIndex index = model()->index(rowOf(name), model()->columnOf("description"));
        auto* cell = qobject_cast<DescriptionCell*>(table()->itemDelegateForColumn(index.column()));
        launcher()->willDisplayCell(*cell, index);
        const auto parts = cell->layout(table()->visualRect(index), table()->viewport());
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                          parts.install.value_or(parts.update.value_or(QRect())).center());
    }

private slots:
    void init()
    {
        setUp();
        m_http = std::make_unique<HttpFixture>();
    }
    void cleanup()
    {
        tearDown();
        m_http.reset();
    }

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
            m_http->setBody(path, kind == u"xml" ? "<rss><channel><item/></channel></rss>"
                                                 : source.left(1).toUtf8() + "1\n" +
                                                       m_http->url(path + ".zip").toEncoded());
            const QUrl url = kind == u"fail" ? HttpFixture::refusedUrl() : m_http->url(path);
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
        QTRY_COMPARE(m_http->requests().size(), fetched.size());
        QString asked;
        for (const QByteArray& request : m_http->requests())
            asked += QString::fromLatin1(request.split(' ').value(1).mid(1));
        QCOMPARE(asked, fetched);
        levels.sort();
        QTRY_COMPARE(names(), levels); // saved and reloaded
    }

    void cancelLeavesQueue()
    {
        const QByteArray feedB = "B1\n" + m_http->url("/B.zip").toEncoded();
        HttpFixture::Response stalled = HttpFixture::answer(200, feedB);
        stalled.stallAfter = 0;
        m_http->setResponse("/B", stalled);
        m_http->setBody("/A", "A1\n" + m_http->url("/A.zip").toEncoded());
        UserDefaults::standard().setObject(
            QVariantList{QVariantMap{{"urlDownload", m_http->url("/A")}, {"format", "txt"}},
                         QVariantMap{{"urlDownload", m_http->url("/B")}, {"format", "txt"}}},
            "source");
        start();
        QTRY_VERIFY(modal<DownloadSheet>());
        QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
        QCOMPARE(names(), QStringList{"Standard"});
        m_http->setBody("/B", feedB);
        QTest::keyClick(window(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(names(), (QStringList{"A1", "B1", "Standard"}));
    }

    void install_data()
    {
        QTest::addColumn<QString>("archive");  // good, html, no list, bad entry
        QTest::addColumn<QString>("existing"); // "installed", "taken" (a local level) or none
        QTest::addColumn<QString>("answer");   // to the question asked, empty for none
        QTest::addColumn<QString>("folder");   // where the new level lands, empty for nowhere
        // An installed level's feed publishes a wrong checksum when a question is answered.
        const auto row = [](const char* name, const char* archive, const char* existing,
                            const char* answer, const char* folder) {
            QTest::newRow(name) << archive << existing << answer << folder;
        };
        row("free folder", "good", "", "", "Castle");
        row("get.php", "good", "", "", "get");
        row("update, no question", "good", "installed", "", "Castle");
        row("not a zip", "html", "installed", "", "");
        row("no levellist.dat", "no list", "installed", "", "");
        row("bad entry", "bad entry", "installed", "", "");
        row("checksum, Cancel", "good", "installed", "Cancel", "");
        row("checksum, Install Anyway", "good", "installed", "Install Anyway", "Castle");
        row("taken, New Directory", "good", "taken", "New Directory", "Castle2");
        row("taken twice, New Directory", "good", "taken 2", "New Directory", "Castle3");
        row("taken, Overwrite", "good", "taken", "Overwrite", "Castle");
        row("taken, Cancel", "good", "taken", "Cancel", "");
    }
    void install()
    {
        QFETCH(QString, archive);
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        QFETCH(QString, folder);
        const QString path = folder == u"get" ? "/get.php" : "/Castle.zip";
        const bool badSha1 = existing == u"installed" && !answer.isEmpty();
        const QString sheet = !folder.isEmpty()    ? "New level installed!"
                              : archive != u"good" ? "The level could not be installed."
                                                   : "";
        ZipBuilder builder;
        if (archive != u"no list")
            builder.add("levellist.dat", "1");
        if (archive == u"bad entry")
            builder.add("../escape.map", "x");
        const QByteArray good = zip(builder.add("new.map", "x"));
        m_http->setBody(path, archive == u"html" ? "<html>busy</html>" : good);
        const QString archiveName = path.mid(1);
        const QString downloads = getDownloadDir().value_or(QString());
        home().createFile(downloads + u'/' + archiveName, "older archive");
        QVariantMap entry{{"name", "Castle"},
                          {"guid", "castle"},
                          {"urlDownload", m_http->url(path).toString()},
                          {"pubDateRemote", QDateTime::currentDateTimeUtc()}};
        if (badSha1)
            entry.insert("sha1Remote", QByteArray(20, 'x'));
        if (!existing.isEmpty())
            home().createLevel("Castle");
        if (existing == u"taken 2")
            home().createLevel("Castle2");
        if (existing == u"installed") {
            entry.insert("urlInstall", folderUrl("Castle"));
            entry.insert("pubDateInstall", QDateTime::currentDateTimeUtc().addDays(-1));
        }
        home().writeCatalogue({entry});
        start();
        clickDownload("Castle");
        if (!answer.isEmpty())
            QVERIFY(sheetUp() && !answerSheet(nullptr, answer).isEmpty());
        QString informative;
        QVERIFY(sheet.isEmpty() || sheetUp());
        QCOMPARE(answerSheet(&informative), sheet);
        QCOMPARE(QFile::exists(downloads + u'/' + archiveName), !badSha1 || answer != u"Cancel");
        QVERIFY(!QFile::exists(downloads + u'/' + archiveName + ".download"));
        QVERIFY(QFile::exists(home().dataHome() + "/Trash/files/" + archiveName));
        const InstallState state = checkInstall(entryOf("castle"));
        QCOMPARE(inLevel("Castle", "map.dat"), folder != u"Castle" && !existing.isEmpty());
        if (folder.isEmpty()) {
            QVERIFY(!inLevel("Castle", "new.map"));
            QCOMPARE(state, existing == u"installed" ? UpdateAvailable : NotInstalled);
        } else {
            QVERIFY(inLevel(folder, "new.map") && informative.contains("Castle"));
            QCOMPARE(selectedName(), QStringLiteral("Castle"));
            QCOMPARE(state, UpToDate);
        }
        // Overwrite forgets the local level that had the folder; no staging folder is left.
        QCOMPARE(names().count("Castle"),
                 1 + int(existing.startsWith("taken") && answer != u"Overwrite"));
        QCOMPARE(QDir(home().gameLevelDir()).entryList(kFolders).size(),
                 int(existing == u"taken 2") + int(!existing.isEmpty() || !folder.isEmpty()) +
                     int(folder.startsWith("Castle") && folder != u"Castle"));
    }

    void localFile()
    {
        const QDateTime mtime(QDate(2025, 5, 4), QTime(3, 2, 1), Qt::UTC);
        const QByteArray bytes = zip(ZipBuilder().add("levellist.dat", "1"));
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
        m_http->setBody("/Castle.zip", zip(big));
        home().createLevel("Castle");
        home().writeCatalogue(
            {QVariantMap{{"name", "Castle"},
                         {"guid", "castle"},
                         {"urlDownload", m_http->url("/Castle.zip").toString()},
                         {"urlInstall", folderUrl("Castle")},
                         {"pubDateInstall", QDateTime::currentDateTimeUtc().addDays(-1)},
                         {"pubDateRemote", QDateTime::currentDateTimeUtc()}}});
        start();
        clickDownload("Castle");
        const QDir levels(home().gameLevelDir());
        QTRY_VERIFY(levels.entryList(kFolders).size() == 2); // unpacking into its staging
        QTest::mouseClick(modal<DownloadSheet>()->cancelButton(), Qt::LeftButton);
        QTRY_COMPARE(levels.entryList(kFolders), QStringList{"Castle"});
        QVERIFY(inLevel("Castle", "map.dat") && !inLevel("Castle", "0"));
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
