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

    static constexpr QDir::Filters kAllFolders = QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot;
    std::unique_ptr<HttpFixture> m_http;
    const QDateTime m_published{QDate(2026, 3, 1), QTime(12, 0), Qt::UTC};

    static bool sheetUp()
    {
        return QTest::qWaitFor(
            [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 20000);
    }
    QByteArray level() const
    {
        const QString path = home().filePath("made.zip");
        ZipBuilder().add("levellist.dat", "1").add("new.map", "x").write(path);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString levelFile(const QString& folder, const QString& name) const
    {
        return QDir(home().gameLevelDir()).filePath(folder + u'/' + name);
    }
    // A feed's level; installed in Castle with the old archive when asked.
    QVariantMap offered(const QString& path, const QByteArray& sha1 = {}, bool installed = false)
    {
        QVariantMap entry{{"name", "Castle"},
                          {"guid", "castle"},
                          {"urlDownload", m_http->url(path).toString()},
                          {"pubDateRemote", m_published}};
        if (!sha1.isEmpty())
            entry.insert("sha1Remote", sha1);
        if (installed) {
            home().createLevel("Castle");
            entry.insert("urlInstall", folderUrl("Castle"));
            entry.insert("pubDateInstall", m_published.addDays(-1));
        }
        return entry;
    }
    QVariantMap entryOf(const QString& name) const
    {
        return launcher()->database()->objectAtIndex(rowOf(name));
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
        QTest::addColumn<QStringList>("sources"); // name, format, due
        QTest::addColumn<QStringList>("fetched");
        QTest::addColumn<QStringList>("levels");
        QTest::newRow("three due, last first")
            << QStringList{"A txt", "B txt", "C txt"} << QStringList{"C", "B", "A"}
            << QStringList{"A1", "B1", "C1", "Standard"};
        QTest::newRow("future date skipped, none fetched")
            << QStringList{"A txt later", "B txt"} << QStringList{"B"}
            << QStringList{"B1", "Standard"};
        QTest::newRow("no source due")
            << QStringList{"A txt later"} << QStringList{} << QStringList{"Standard"};
        QTest::newRow("empty list") << QStringList{} << QStringList{} << QStringList{"Standard"};
        QTest::newRow("stored xml read as xml")
            << QStringList{"A xml"} << QStringList{"A"} << QStringList{"Standard"};
        QTest::newRow("one failing of three")
            << QStringList{"A txt", "B fail", "C txt"} << QStringList{"C", "A"}
            << QStringList{"A1", "C1", "Standard"};
    }
    void refresh()
    {
        QFETCH(QStringList, sources);
        QFETCH(QStringList, fetched);
        QVariantList list;
        for (const QString& source : sources) {
            const QStringList parts = source.split(u' ');
            const QString path = u'/' + parts[0];
            m_http->setBody(
                path, parts[1] == u"xml"
                          ? "<rss><channel><item/></channel></rss>"
                          : (parts[0] + "1\n" + m_http->url(path + ".zip").toString()).toUtf8());
            QVariantMap record{{"urlDownload", parts[1] == u"fail"
                                                   ? HttpFixture::refusedUrl().toString()
                                                   : m_http->url(path).toString()},
                               {"format", parts[1]}};
            if (parts.size() > 2)
                record.insert("nextCheckDate", QDateTime::currentDateTimeUtc().addDays(1));
            list.append(record);
        }
        UserDefaults::standard().setObject(list, "source");
        start();
        if (sources.contains("B fail"))
            QVERIFY(sheetUp() && !answerSheet().isEmpty());
        QTRY_COMPARE(m_http->requests().size(), fetched.size());
        QStringList asked;
        for (const QByteArray& request : m_http->requests())
            asked.append(QString::fromLatin1(request.split(' ').value(1).mid(1)));
        QCOMPARE(asked, fetched);
        QFETCH(QStringList, levels);
        QTRY_COMPARE(names(), levels); // reloaded, and saved:
        QFile saved(home().cataloguePath());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray stored = saved.readAll();
        for (const QString& name : levels)
            QVERIFY2(stored.contains(name.toUtf8()), qPrintable(name));
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
        QTRY_VERIFY(qobject_cast<DownloadSheet*>(QApplication::activeModalWidget()));
        QTest::mouseClick(
            qobject_cast<DownloadSheet*>(QApplication::activeModalWidget())->cancelButton(),
            Qt::LeftButton);
        QCOMPARE(names(), QStringList{"Standard"});
        m_http->setBody("/B", feedB);
        QTest::keyClick(window(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(names(), (QStringList{"A1", "B1", "Standard"}));
    }

    void install_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("archive"); // good, html, no list, bad entry
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("answer"); // to the checksum question, empty for none
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("folder"); // where the new level lands, empty for nowhere
        const QString done = "New level installed!";
        const QString failed = "The level could not be installed.";
        QTest::newRow("free folder") << "/Castle.zip"
                                     << "good" << false << "" << done << "Castle";
        QTest::newRow("get.php") << "/get.php"
                                 << "good" << false << "" << done << "get";
        QTest::newRow("update, no question") << "/Castle.zip"
                                             << "good" << true << "" << done << "Castle";
        QTest::newRow("not a zip") << "/Castle.zip"
                                   << "html" << true << "" << failed << "";
        QTest::newRow("no levellist.dat") << "/Castle.zip"
                                          << "no list" << true << "" << failed << "";
        QTest::newRow("bad entry") << "/Castle.zip"
                                   << "bad entry" << true << "" << failed << "";
        QTest::newRow("checksum, Cancel") << "/Castle.zip"
                                          << "good" << true << "Cancel"
                                          << ""
                                          << "";
        QTest::newRow("checksum, Install Anyway")
            << "/Castle.zip"
            << "good" << true << "Install Anyway" << done << "Castle";
    }
    void install()
    {
        QFETCH(QString, path);
        QFETCH(QString, archive);
        QFETCH(bool, installed);
        QFETCH(QString, answer);
        QFETCH(QString, folder);
        ZipBuilder zip;
        if (archive != u"no list")
            zip.add("levellist.dat", "1");
        if (archive == u"bad entry")
            zip.add("../escape.map", "x");
        zip.add("new.map", "x").write(home().filePath("made.zip"));
        QFile made(home().filePath("made.zip"));
        QVERIFY(made.open(QIODevice::ReadOnly));
        const QByteArray body = archive == u"html" ? "<html>busy</html>" : made.readAll();
        m_http->setBody(path, body);
        const QString archiveName = path.mid(1);
        const QString downloads = getDownloadDir().value_or(QString());
        home().createFile(downloads + u'/' + archiveName, "older archive");
        home().writeCatalogue(
            {offered(path, answer.isEmpty() ? QByteArray() : QByteArray(20, 'x'), installed)});
        start();
        clickDownload("Castle");
        if (!answer.isEmpty())
            QVERIFY(sheetUp() && !answerSheet(nullptr, answer).isEmpty());
        QFETCH(QString, sheet);
        QString informative;
        QVERIFY(sheet.isEmpty() || sheetUp());
        QCOMPARE(answerSheet(&informative), sheet);
        QCOMPARE(QFile::exists(downloads + u'/' + archiveName), answer != u"Cancel");
        QVERIFY(!QFile::exists(downloads + u'/' + archiveName + ".download"));
        QVERIFY(QFile::exists(home().dataHome() + "/Trash/files/" + archiveName));
        const QVariantMap entry = entryOf("Castle");
        if (folder.isEmpty()) {
            QVERIFY(!QFile::exists(levelFile("Castle", "new.map")));
            QVERIFY(QFile::exists(levelFile("Castle", "map.dat")));
            QVERIFY(canLaunch(entry) && checkInstall(entry) == UpdateAvailable);
        } else {
            QVERIFY(QFile::exists(levelFile(folder, "new.map")));
            QVERIFY(!QFile::exists(levelFile(folder, "map.dat")));
            QCOMPARE(selectedName(), QStringLiteral("Castle"));
            QVERIFY(informative.contains("Castle") && checkInstall(entry) == UpToDate);
        }
        // Nothing beside the one level folder, staging folders included.
        QCOMPARE(QDir(home().gameLevelDir()).entryList(kAllFolders).size(), 1);
    }

    void folderTaken_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("castle2Taken");
        QTest::addColumn<QString>("folder");
        QTest::newRow("New Directory") << "New Directory" << false << "Castle2";
        QTest::newRow("New Directory, 2 taken") << "New Directory" << true << "Castle3";
        QTest::newRow("Overwrite") << "Overwrite" << false << "Castle";
        QTest::newRow("Cancel") << "Cancel" << false << "";
    }
    void folderTaken()
    {
        QFETCH(QString, answer);
        QFETCH(QString, folder);
        home().createLevel("Castle");
        QFETCH(bool, castle2Taken);
        if (castle2Taken)
            home().createLevel("Castle2");
        m_http->setBody("/Castle.zip", level());
        home().writeCatalogue(
            {QVariantMap{{"name", "Fort"},
                         {"guid", "fort"},
                         {"urlDownload", m_http->url("/Castle.zip").toString()}}});
        start();
        clickDownload("Fort");
        QVERIFY(sheetUp());
        QCOMPARE(answerSheet(nullptr, answer), QStringLiteral("Directory exists"));
        QVERIFY(answer == u"Cancel" || sheetUp());
        QCOMPARE(answerSheet(), answer == u"Cancel" ? QString() : "New level installed!");
        QCOMPARE(QFile::exists(levelFile("Castle", "map.dat")), answer != u"Overwrite");
        QCOMPARE(names().contains("Castle"), answer != u"Overwrite");
        QCOMPARE(QFile::exists(levelFile(folder, "new.map")), !folder.isEmpty());
    }

    void localFile()
    {
        const QDateTime mtime(QDate(2025, 5, 4), QTime(3, 2, 1), Qt::UTC);
        const QByteArray bytes = level();
        const QString path = home().createFile("elsewhere/Castle.zip", bytes, mtime);
        start();
        for (const auto& [expected, button] :
             {std::pair{"New level installed!", "OK"}, std::pair{"Directory exists", "Cancel"}}) {
            window()->activateWindow(); // back from the last sheet
            QVERIFY(QTest::qWaitForWindowActive(window()));
            QTest::keyClick(window(), Qt::Key_O, Qt::ControlModifier);
            QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
            auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            panel->selectFile(path); // as a pick in its list would
            auto* buttons = panel->findChild<QDialogButtonBox*>("buttonBox");
            QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
            QVERIFY(sheetUp());
            QCOMPARE(answerSheet(nullptr, button), QString(expected));
        }
        const QVariantMap entry = entryOf("Castle");
        QCOMPARE(entry.value("pubDateInstall").toDateTime(), mtime);
        QCOMPARE(entry.value("sha1Install").toByteArray(),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Sha1));
        QVERIFY(checkInstall(entry) == NotDownloadable && QFile::exists(path));
        QVERIFY(QFile::exists(levelFile("Castle", "new.map")));
    }

    void cancelUnpacking()
    {
        ZipBuilder big;
        big.add("levellist.dat", "1");
        for (int file = 0; file < 4000; ++file)
            big.add(QByteArray::number(file), QByteArray(16384, char(file)), ZipBuilder::Stored);
        QVERIFY(big.write(home().filePath("big.zip")));
        QFile archive(home().filePath("big.zip"));
        QVERIFY(archive.open(QIODevice::ReadOnly));
        m_http->setBody("/Castle.zip", archive.readAll());
        home().writeCatalogue({offered("/Castle.zip", {}, true)});
        start();
        clickDownload("Castle");
        const QDir levels(home().gameLevelDir());
        QTRY_VERIFY(levels.entryList(kAllFolders).size() == 2); // unpacking into its staging
        auto* sheet = qobject_cast<DownloadSheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        QTRY_COMPARE(levels.entryList(kAllFolders), QStringList{"Castle"});
        QVERIFY(!QFile::exists(levelFile("Castle", "0")));
        QVERIFY(checkInstall(entryOf("Castle")) == UpdateAvailable);
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
