// The install steps that need no window, on real archives in a temporary home with the game
// installed: the folder chosen, the staged unpack, the swap into place and what a failure or a
// cancel leaves behind.

#include "install/StagedInstall.h"
#include "catalogue/Database.h"
#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

const QStringList kOldLevel = {"levellist.dat", "map.dat"};
const QStringList kNewLevel = {"castle.map", "levellist.dat"};
const qsizetype kMapSize = 8 << 20;

} // namespace

class StagedInstallTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString m_levels;
    QString m_archive;

    QUrl castle() const { return QUrl::fromLocalFile(m_levels + "/Castle/"); }
    QUrl archiveUrl() const { return QUrl::fromLocalFile(m_archive); }
    bool writeLevelArchive(qsizetype mapSize = 10)
    {
        return ZipBuilder()
            .add("levellist.dat", "new")
            .add("castle.map", QByteArray(mapSize, 'm'))
            .write(m_archive);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_levels = m_home->installGame();
        QDir().mkpath(m_levels);
        m_archive = m_home->filePath("Download/Castle.zip");
        QDir().mkpath(QFileInfo(m_archive).path());
        // Whatever a broken build removes by a relative path stays inside the home.
        QDir::setCurrent(m_home->createDir("cwd"));
    }
    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        m_home.reset();
    }

    // With a level in Castle: where an install goes, and when it must ask or give up.
    void choosesTarget_data()
    {
        QTest::addColumn<QString>("urlInstall");
        QTest::addColumn<QString>("zip");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("folder");
        const auto row = [](const char* name, QString install, QString zip, int kind,
                            QString folder) {
            QTest::newRow(name) << install << zip << kind << folder;
        };
        row("free", "", "Moor.zip", InstallTarget::Free, "Moor");
        row("taken", "", "Castle.zip", InstallTarget::Taken, "Castle");
        row("installed level", "Castle", "Moor.zip", InstallTarget::Replace, "Castle");
        row("installed elsewhere", "/elsewhere", "Moor.zip", InstallTarget::Unusable, "");
        row("staging name", "", ".quillmor-staging-1-x.zip", InstallTarget::Unusable, "");
    }
    void choosesTarget()
    {
        QFETCH(QString, urlInstall);
        QFETCH(QString, zip);
        QFETCH(int, kind);
        QFETCH(QString, folder);
        m_home->createLevel("Castle");
        QVariantMap record{{"urlZip", QUrl::fromLocalFile(m_home->filePath(zip)).toString()}};
        if (!urlInstall.isEmpty())
            record["urlInstall"] =
                QUrl::fromLocalFile(QDir(m_levels).filePath(urlInstall) + '/').toString();

        const InstallTarget target = chooseInstallTarget(record);
        QCOMPARE(target.kind, kind);
        QCOMPARE(target.folder,
                 folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_levels + '/' + folder + '/'));
    }

    void numbersNewDirectories()
    {
        m_home->createLevel("Castle");
        QCOMPARE(newInstallDirectory(archiveUrl()), QUrl::fromLocalFile(m_levels + "/Castle2/"));
        m_home->createLevel("Castle2");
        QCOMPARE(newInstallDirectory(archiveUrl()), QUrl::fromLocalFile(m_levels + "/Castle3/"));
    }

    // Success puts the new level in place and the old one in the Trash; any failure leaves
    // the level folder exactly as it was and says why; neither leaves a staging folder.
    void installs_data()
    {
        QTest::addColumn<QByteArrayList>("names"); // none: a file that is no zip archive
        QTest::addColumn<bool>("oldLevel");
        QTest::addColumn<QString>("reason");
        const QByteArrayList level = {"levellist.dat", "castle.map"};
        QTest::newRow("into a free folder") << level << false << "";
        QTest::newRow("replacing a level") << level << true << "";
        QTest::newRow("not a zip") << QByteArrayList() << true << "not a zip archive";
        QTest::newRow("bad entry")
            << QByteArrayList{"levellist.dat", "maps/castle.map"} << true
            << "\"maps/castle.map\" could not be written: its name has a folder part";
        QTest::newRow("no levellist.dat")
            << QByteArrayList{"castle.map"} << true << "no \"levellist.dat\"";
    }
    void installs()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(bool, oldLevel);
        QFETCH(QString, reason);
        if (oldLevel)
            m_home->createLevel("Castle");
        ZipBuilder zip;
        for (const QByteArray& name : names)
            zip.add(name, "data");
        QVERIFY(names.isEmpty() ? !m_home->createFile(m_archive, "<html>").isEmpty()
                                : zip.write(m_archive));

        const StagedLevel level = stageLevel(archiveUrl(), castle());
        QCOMPARE(level.isStaged(), reason.isEmpty());
        QVERIFY2(level.reason.contains(reason), qPrintable(level.reason));
        if (level.isStaged())
            QCOMPARE(swapIntoPlace(level), std::nullopt);

        const QStringList expected = reason.isEmpty() ? kNewLevel
                                     : oldLevel       ? kOldLevel
                                                      : QStringList();
        QCOMPARE(entries(m_levels + "/Castle"), expected);
        QCOMPARE(entries(m_levels), expected.isEmpty() ? QStringList() : QStringList{"Castle"});
        QCOMPARE(entries(m_home->dataHome() + "/Trash/files/Castle"),
                 reason.isEmpty() && oldLevel ? kOldLevel : QStringList());
    }

    // Without its level directory nothing is staged, and nothing else is touched.
    void needsTheLevelDirectory()
    {
        QVERIFY(writeLevelArchive());
        QVERIFY(QDir(m_levels).removeRecursively());
        const StagedLevel level = stageLevel(archiveUrl(), castle());
        QVERIFY(!level.isStaged());
        QVERIFY(level.reason.contains("No staging folder"));
        QCOMPARE(entries(m_home->path()).contains("cwd"), true);
    }

    // Cancelled before the first entry, inside a large one, and after the last: the unpacking
    // stops there and the old level stays.
    void cancelChangesNothing_data()
    {
        QTest::addColumn<quint64>("cancelAt");
        QTest::newRow("at once") << quint64(0);
        QTest::newRow("inside a large entry") << quint64(4);
        QTest::newRow("after the last entry") << quint64(3 + kMapSize);
    }
    void cancelChangesNothing()
    {
        QFETCH(quint64, cancelAt);
        m_home->createLevel("Castle");
        QVERIFY(writeLevelArchive(kMapSize));
        quint64 written = 0;
        const WorkControl control{[&] { return written >= cancelAt; },
                                  [&](quint64 done, quint64) {
                                      written = done;
                                  }};

        const StagedLevel level = stageLevel(archiveUrl(), castle(), control);
        QVERIFY(!level.isStaged());
        QCOMPARE(level.reason, QString());
        QVERIFY(written < cancelAt + kMapSize / 2);
        QCOMPARE(entries(m_levels), QStringList{"Castle"});
        QCOMPARE(entries(m_levels + "/Castle"), kOldLevel);
    }

    // A cancelled future leaves the level folder as it was, whenever the cancel lands; one
    // that runs to its end reports full progress.
    void runsOnAWorker()
    {
        m_home->createLevel("Castle");
        QVERIFY(writeLevelArchive(kMapSize));
        QFuture<StagedLevel> cancelled = startStaging(archiveUrl(), castle());
        cancelled.cancel();
        cancelled.waitForFinished();
        QCOMPARE(entries(m_levels), QStringList{"Castle"});

        QFuture<StagedLevel> staging = startStaging(archiveUrl(), castle());
        QFuture<std::optional<QByteArray>> hashing = startCalcSHA1(archiveUrl());
        QVERIFY(staging.result().isStaged());
        QCOMPARE(staging.progressValue(), kProgressRange);
        QCOMPARE(hashing.result(), calcSHA1(archiveUrl()));
    }

    // A staging folder left by a run that ended is never listed as a level, and the next
    // install removes it; one of a running process stays.
    void leftoverStaging()
    {
        const QString ended = ".quillmor-staging-999999999-abcdef";
        const QString running = ".quillmor-staging-" + QString::number(getpid()) + "-abcdef";
        for (const QString& name : {ended, running})
            m_home->createFile(m_levels + '/' + name + "/Castle/levellist.dat", "half");
        Database database;
        database.load();
        for (qsizetype i = 0; i < database.count(); ++i)
            QVERIFY(!database.objectAtIndex(i).value("urlInstall").toString().contains("staging"));

        QVERIFY(writeLevelArchive());
        QVERIFY(stageLevel(archiveUrl(), castle()).isStaged());
        QCOMPARE(entries(m_levels).size(), 2);
        QVERIFY(entries(m_levels).contains(running));
    }
};

QTEST_GUILESS_MAIN(StagedInstallTest)
#include "StagedInstallTest.moc"
