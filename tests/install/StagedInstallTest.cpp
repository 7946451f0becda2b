// The install steps that need no window, on real archives in a temporary home with the game
// installed: the folder chosen, the staged unpack, the swap into place and what a failure or a
// cancel leaves behind.

#include "install/StagedInstall.h"
#include "catalogue/Database.h"
#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"

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

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        QDir().mkpath(m_levels = m_home->installGame());
        m_archive = m_home->createDir("Download") + "/Castle.zip";
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
        QTest::addColumn<QString>("chosen");
        const char* rows[][4] = {{"free", "", "Moor.zip", "0 Moor/"},
                                 {"taken", "", "Castle.zip", "2 Castle/"},
                                 {"installed level", "Castle", "Moor.zip", "1 Castle/"},
                                 {"installed elsewhere", "/elsewhere", "Moor.zip", "3 "},
                                 {"staging name", "", ".quillmor-staging-1-x.zip", "3 "}};
        for (const auto& [tag, urlInstall, zip, chosen] : rows)
            QTest::newRow(tag) << QString(urlInstall) << QString(zip) << QString(chosen);
    }
    void choosesTarget()
    {
        QFETCH(QString, urlInstall);
        QFETCH(QString, zip);
        QFETCH(QString, chosen);
        m_home->createLevel("Castle");
        QVariantMap record{{"urlZip", QUrl::fromLocalFile(m_home->filePath(zip)).toString()}};
        if (!urlInstall.isEmpty())
            record["urlInstall"] =
                QUrl::fromLocalFile(QDir(m_levels).filePath(urlInstall) + '/').toString();
        const InstallTarget target = chooseInstallTarget(record);
        const QString levels = QUrl::fromLocalFile(m_levels + '/').toString();
        QCOMPARE(QString::number(target.kind) + ' ' + target.folder.toString().remove(levels),
                 chosen);
    }

    // Over an installed level: success puts the new level in place and the old one in the
    // Trash; a failure, or a cancel inside a large entry or after the last, leaves the level
    // folder exactly as it was and says why (a cancel says nothing); none leaves a staging
    // folder.
    void installs_data()
    {
        QTest::addColumn<QByteArrayList>("names"); // none: a file that is no zip archive
        QTest::addColumn<qint64>("cancelAt");      // bytes written when the cancel comes; -1 never
        QTest::addColumn<QString>("reason");
        const QByteArrayList level = {"levellist.dat", "castle.map"};
        QTest::addRow("replacing a level") << level << -1ll << "";
        QTest::addRow("not a zip") << QByteArrayList() << -1ll << "not a zip archive";
        QTest::addRow("no levellist.dat")
            << QByteArrayList{"castle.map"} << -1ll << "no \"levellist.dat\"";
        QTest::addRow("cancel inside a large entry") << level << 4ll << "";
        QTest::addRow("cancel after the last entry") << level << 3ll + kMapSize << "";
    }
    void installs()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(qint64, cancelAt);
        QFETCH(QString, reason);
        m_home->createLevel("Castle");
        ZipBuilder zip;
        for (const QByteArray& name : names)
            zip.add(name, name == "castle.map" ? QByteArray(kMapSize, 'm') : "new");
        QVERIFY(names.isEmpty() ? !m_home->createFile(m_archive, "<html>").isEmpty()
                                : zip.write(m_archive));
        qint64 written = 0;
        const WorkControl control{[&] { return cancelAt >= 0 && written >= cancelAt; },
                                  [&](quint64 done, quint64) {
                                      written = qint64(done);
                                  }};
        const StagedLevel level = stageLevel(archiveUrl(), castle(), control);
        const bool installed = level.isStaged() && !swapIntoPlace(level);
        const bool good = reason.isEmpty() && cancelAt < 0;
        QVERIFY2(level.reason.contains(reason) && installed == good &&
                     written < (cancelAt < 0 ? kMapSize + 4 : cancelAt + kMapSize / 2),
                 qPrintable(level.reason));
        const QStringList trashed = entries(m_home->dataHome() + "/Trash/files/Castle");
        QCOMPARE(entries(m_levels) + entries(m_levels + "/Castle") + QStringList{"|"} + trashed,
                 QStringList{"Castle"} + (good ? kNewLevel : kOldLevel) + QStringList{"|"} +
                     (good ? kOldLevel : QStringList()));
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
        QVERIFY(ZipBuilder().add("levellist.dat", "new").write(m_archive));
        QVERIFY(stageLevel(archiveUrl(), castle()).isStaged());
        QVERIFY(!entries(m_levels).contains(ended) && entries(m_levels).contains(running));
    }
};

QTEST_GUILESS_MAIN(StagedInstallTest)
#include "StagedInstallTest.moc"
