// The install steps that need no window, on real archives in a temporary home with the game
// installed: the locations and level predicates they rest on, an archive unpacked into a
// folder, the folder chosen, the staged unpack, the swap into place and what a failure or a
// cancel leaves behind.

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "install/StagedInstall.h"
#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <optional>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// What follows each entry's name in zipOf's archives: more than one buffer of the unpacking.
const QByteArray kPadding(100000, '.');

// The bytes of an archive holding the names in order, each with its name and the padding.
QByteArray zipOf(const QByteArrayList& names)
{
    ZipBuilder zip;
    for (const QByteArray& name : names)
        zip.add(name, name + kPadding);
    QTemporaryDir dir;
    return zip.write(dir.filePath("a.zip")) ? contents(dir.filePath("a.zip")) : QByteArray();
}

// Records a different uncompressed size for "castle.map", in its local header and its central
// directory record alike, so that its data ends early or runs past the recorded size.
QByteArray resized(QByteArray zip, int delta)
{
    for (char* size : {zip.data() + zip.indexOf("castle.map") - 30 + 22,
                       zip.data() + zip.lastIndexOf("castle.map") - 46 + 24})
        qToLittleEndian(qFromLittleEndian<quint32>(size) + quint32(delta), size);
    return zip;
}

// The signature each record of the central directory starts with.
const QByteArray kCentralRecord("PK\x01\x02", 4);

// Breaks the list of entries off after the first one: the second record loses its signature.
QByteArray listBrokenOff(QByteArray zip)
{
    zip[zip.indexOf(kCentralRecord, zip.indexOf(kCentralRecord) + 1)] = 'X';
    return zip;
}

// An archive whose central directory declares about the total size, shared out over small
// entries so that each declares less than 4 GiB. They share a name: none is ever written.
QByteArray declaring(quint64 total)
{
    const QByteArrayList names(qsizetype(total / 0xfff00000u + 1), "level.dat");
    QByteArray zip = zipOf(names);
    for (qsizetype at = zip.indexOf(kCentralRecord); at >= 0;
         at = zip.indexOf(kCentralRecord, at + 1))
        qToLittleEndian(quint32(total / quint64(names.size())), zip.data() + at + 24);
    return zip;
}

const QByteArray kAbsolute =
    QFile::encodeName(QDir::tempPath()) + "/quillmor-absolute-" + QByteArray::number(getpid());

// The place the Trash's record of the named item gives as the one it came from; empty for none.
QString trashedFrom(const QString& dataHome, const QString& name)
{
    for (const QByteArray& line :
         contents(dataHome + "/Trash/info/" + name + ".trashinfo").split('\n'))
        if (line.startsWith("Path="))
            return QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5)));
    return {};
}

const QStringList kOldLevel = {"levellist.dat", "map.dat"};
const QStringList kNewLevel = {"castle.map", "levellist.dat"};
const qsizetype kMapSize = 8 << 20;

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

    // emplace() ends the last case's home, which restores the environment, before the next.
    std::optional<TestHome> m_home;
    QString m_levels;
    QString m_archive;

    QUrl castle() const { return QUrl::fromLocalFile(m_levels + "/Castle/"); }
    QUrl archiveUrl() const { return QUrl::fromLocalFile(m_archive); }

private slots:
    void init()
    {
        m_home.emplace();
        m_levels = m_home->installGame(); // made on demand
        m_archive = m_home->createDir("Download") + "/Castle.zip";
        // Whatever a broken build removes by a relative path stays inside the home.
        QDir::setCurrent(m_home->createDir("cwd"));
    }
    // A broken build may write the absolute-name row's file; later cases must not see it.
    void cleanup()
    {
        qunsetenv("QUILLMOR_TEST_REFUSE_RENAME_FLAGS");
        QFile::remove(kAbsolute);
        QDir::setCurrent(QDir::tempPath());
    }

    // The folders, made on demand, with the game the launcher's Info.plist names or without.
    void locations_data()
    {
        QTest::addColumn<QString>("gameIdentifier");
        QTest::addColumn<bool>("found");
        QTest::newRow("the game") << "org.quillmor.Quillmor" << true;
        QTest::newRow("another game") << "org.other.Game" << false;
    }
    void locations()
    {
        QFETCH(QString, gameIdentifier);
        QFETCH(bool, found);
        m_home->setInfoPlist({{"BundleIdentifier", "org.quillmor.Launcher"},
                              {"QuillmorBundleIdentifier", gameIdentifier}});
        const QString download = m_home->applicationDir() + "/Download";
        const QStringList seen{getGameLevelDir().value_or("none"), getDownloadDir().value_or(""),
                               QString::number(QFileInfo(m_home->gameLevelDir()).isDir()),
                               QString::number(QFileInfo(download).isDir())};
        QCOMPARE(seen, QStringList({found ? m_home->gameLevelDir() : "none", download,
                                    QString::number(found), "1"}));
    }

    void predicates_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("launchable");
        const QDateTime day(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
        // The remote date's offset from the install date in seconds; -1000 leaves the install
        // date out.
        const auto row = [&](const char* name, QString download, QString install, int later,
                             QVariant exists, QString guid, int state, bool launchable) {
            QVariantMap record{{"urlDownload", download},
                               {"urlInstall", install},
                               {"guid", guid},
                               {"pubDateRemote", day.addSecs(later)},
                               {"exists", exists}}; // none reads as false
            if (later != -1000)
                record.insert("pubDateInstall", day);
            QTest::newRow(name) << record << state << launchable;
        };
        const QString web = "http://h/Castle.zip", dir = "file:///levels/Castle/";
        row("built-in level", "", "", 0, {}, "", NotDownloadable, true);
        row("unparsable download URL", "http://[bad", "", 0, {}, "g1", NotDownloadable, false);
        row("downloadable, not installed", web, "", 0, {}, "g1", NotInstalled, false);
        row("remote one second later", web, dir, 1, true, "g1", UpdateAvailable, true);
        row("equal dates", web, dir, 0, true, "g1", UpToDate, true);
        row("no install date", web, dir, -1000, true, "g1", UpToDate, true);
        row("folder gone", web, dir, 0, false, "g1", UpToDate, false);
    }
    void predicates()
    {
        QFETCH(QVariantMap, record);
        QFETCH(int, state);
        QFETCH(bool, launchable);
        QCOMPARE(QPair(int(checkInstall(record)), canLaunch(record)), QPair(state, launchable));
    }

    void installPathForZip_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("folder"); // empty: none
        QTest::newRow("plain") << "http://h/Castle.zip" << 0 << "Castle";
        QTest::newRow("numbered") << "http://h/Castle.zip" << 2 << "Castle2";
        QTest::newRow("negative") << "http://h/Castle.zip" << -1 << "Castle";
        QTest::newRow("two dots") << "http://h/a/Castle.old.zip" << 0 << "Castle.old";
        QTest::newRow("encoded slashes") << "http://h/a%2F..%2F..%2Fx.zip" << 0 << "x";
        QTest::newRow("only an extension") << "http://h/.zip" << 0 << ".zip";
        QTest::newRow("no last component") << "http://h/" << 0 << "";
        QTest::newRow("dot dot") << "http://h/a/.." << 0 << "";
    }
    void installPathForZip()
    {
        QFETCH(QString, archive);
        QFETCH(int, number);
        QFETCH(QString, folder);
        QCOMPARE(getInstallPathForZip(QUrl(archive), number),
                 folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_levels + '/' + folder + '/'));
    }

    // Where no Trash can be made (its place is taken by a file) the level is removed for good,
    // and nothing strays into the current directory on the way.
    void moveToTrashFallsBackToRemoval()
    {
        m_home->createFile("data/Trash", "not a folder");
        const QString level = m_home->createLevel("Castle");
        QVERIFY(::moveToTrash(QUrl::fromLocalFile(level + '/')) && !QFileInfo::exists(level));
        QVERIFY(!QFileInfo::exists("files") && !QFileInfo::exists("info"));
    }

    // What an archive yields over what the folder held: the outcome, the entry it stopped at,
    // and the files written whole and read-only under the umask. Every rule a name is refused
    // by has its row; a planted link or pipe is never written through.
    void unpacksArchive_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<int>("planted"); // a symbolic link, a hard link, a named pipe
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* tag, const QByteArray& archive, const QByteArray& outcome,
                            int planted = 0) {
            QTest::newRow(tag) << archive << planted << QString::fromUtf8(outcome);
        };
        const QByteArray three = zipOf({"levellist.dat", "castle.map", "after.map"});
        const QByteArray replacement = "\xef\xbf\xbd";
        row("two files", zipOf({"levellist.dat", "castle.map"}), "0  | castle.map levellist.dat");
        row("UTF-8 name", zipOf({"Ch\xc3\xa2teau.map"}), "0  | Ch\xc3\xa2teau.map");
        row("not a zip", "<html>404</html>", "1  | ");
        row("absolute name second", zipOf({"levellist.dat", kAbsolute, "after.map"}),
            "3 " + kAbsolute + " | levellist.dat");
        row("backslash", zipOf({"maps\\castle.map"}), "3 maps\\castle.map | ");
        row("zero byte inside",
            zipOf({"levellist.datXmap"}).replace("datXmap", QByteArray("dat\0map", 7)),
            "3 levellist.dat" + replacement + "map | ");
        row("delete character", zipOf({"level\x7f.dat"}), "3 level" + replacement + ".dat | ");
        row("overlong UTF-8 slash", zipOf({"..\xc0\xaf.dat"}),
            "3 .." + replacement + replacement + ".dat | ");
        row("data shorter than recorded", resized(three, 100), "3 castle.map | levellist.dat");
        row("data longer than recorded", resized(three, -100), "3 castle.map | levellist.dat");
        // Entries after a damaged one, written meanwhile on other threads, are taken back.
        QByteArrayList many{"castle.map"};
        for (char c = 'a'; c <= 'z'; ++c)
            many << QByteArray(1, c) + ".map";
        row("data shorter, later entries", resized(zipOf(many), 100), "3 castle.map | ");
        for (int planted : {1, 2, 3})
            row(QByteArray("planted ").append(char('0' + planted)), zipOf({"levellist.dat"}),
                "3 levellist.dat | levellist.dat?", planted);
        // Refused before anything is written; what fits only by eating into the margin kept free
        // on the disk too (its archive is made just before the unpack).
        row("list breaks off after the first entry", listBrokenOff(three), "2  | ");
        row("fits without the margin", {}, "2  |  (margin named)");
    }
    void unpacksArchive()
    {
        QFETCH(QByteArray, archive);
        QFETCH(int, planted);
        QFETCH(QString, outcome);
        // Halfway into the margin, as the disk's free space moves while other programs write.
        if (archive.isEmpty())
            archive = declaring(QStorageInfo(m_home->filePath(".")).bytesAvailable() - (16 << 20));
        m_home->createFile(m_archive, archive);
        const QString folder = m_home->createDir(m_levels + "/Castle");
        const QString outside = m_home->createFile("outside.txt", "precious");
        const QByteArray from = QFile::encodeName(outside),
                         at = QFile::encodeName(folder + "/levellist.dat");
        QCOMPARE(planted == 1   ? ::symlink(from.constData(), at.constData())
                 : planted == 2 ? ::link(from.constData(), at.constData())
                 : planted == 3 ? ::mkfifo(at.constData(), 0666)
                                : 0,
                 0);
        const mode_t saved = ::umask(077);
        const UnzipReport report = unzipLevelReport(archiveUrl(), castle());
        ::umask(saved);
        QStringList written;
        for (const QString& name : entries(folder)) {
            const QFileInfo file(folder + '/' + name);
            const bool whole =
                file.isFile() && contents(file.filePath()) == name.toUtf8() + kPadding;
            written << (!whole                                              ? name + '?'
                        : (file.permissions() & 0x7077) == QFile::ReadOwner ? name
                                                                            : name + '!');
        }
        if (QFileInfo::exists(kAbsolute) || entries(m_levels).size() != 1 ||
            contents(outside) != "precious")
            written << "outside";
        // Refused for the margin, the reason must say the margin is part of what is needed.
        const QString margin = QLocale().formattedDataSize(32 << 20);
        QCOMPARE(QString::number(report.outcome) + ' ' + report.entry + " | " + written.join(' ') +
                     (report.reason.contains(margin) ? " (margin named)" : ""),
                 outcome);
    }

    // The digest of a file read in many buffers, and of a missing one.
    void digest()
    {
        const QByteArray large = kPadding.repeated(11) + "tail";
        m_home->createFile(m_archive, large);
        QCOMPARE(QList({calcSHA1(archiveUrl()),
                        calcSHA1(QUrl::fromLocalFile(m_home->filePath("missing")))}),
                 QList<std::optional<QByteArray>>(
                     {QCryptographicHash::hash(large, QCryptographicHash::Sha1), std::nullopt}));
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
    // Trash, whose record names the level's folder; a failure, or a cancel inside a large entry
    // or after the last, leaves the level folder exactly as it was and says why (a cancel says
    // nothing); none leaves a staging folder. A filesystem that refuses rename flags installs
    // all the same, into a new folder too.
    void installs_data()
    {
        QTest::addColumn<QByteArrayList>("names"); // none: a file that is no zip archive
        QTest::addColumn<qint64>("cancelAt");      // bytes written when the cancel comes; -1 never
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("setting"); // "new folder" (no level there), "flags refused"
        const auto row = [](const char* tag, const QByteArrayList& names, qint64 cancelAt,
                            const char* reason, const char* setting = "") {
            QTest::newRow(tag) << names << cancelAt << QString(reason) << QString(setting);
        };
        const QByteArrayList level = {"levellist.dat", "castle.map"};
        row("replacing a level", level, -1, "");
        row("not a zip", {}, -1, "not a zip archive");
        row("no levellist.dat", {"castle.map"}, -1, "no \"levellist.dat\"");
        row("bad entry after levellist.dat", {"levellist.dat", "../castle.map"}, -1,
            "could not be written");
        row("cancel inside a large entry", level, 4, "");
        row("cancel after the last entry", level, 3 + kMapSize, "");
        row("replacing, flags refused", level, -1, "", "flags refused");
        row("new folder, flags refused", level, -1, "", "new folder, flags refused");
    }
    void installs()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(qint64, cancelAt);
        QFETCH(QString, reason);
        QFETCH(QString, setting);
        const bool fresh = setting.startsWith("new folder");
        if (setting.endsWith("flags refused"))
            qputenv("QUILLMOR_TEST_REFUSE_RENAME_FLAGS", "1");
        fresh ? void(m_home->createDir(m_levels)) : void(m_home->createLevel("Castle"));
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
        const QStringList trashed = entries(m_home->dataHome() + "/Trash/files/Castle") +
                                    QStringList{trashedFrom(m_home->dataHome(), "Castle")};
        const bool replaced = good && !fresh;
        QCOMPARE(entries(m_levels) + entries(m_levels + "/Castle") + QStringList{"|"} + trashed,
                 QStringList{"Castle"} + (good ? kNewLevel : kOldLevel) + QStringList{"|"} +
                     (replaced ? kOldLevel : QStringList()) +
                     QStringList{replaced ? m_levels + "/Castle" : ""});
    }

    // A run killed right after it swapped an update into place, before the old level reached
    // the Trash. The next start lists the folder once, and clears the staging folders that runs
    // which ended left: the old level goes to the Trash, restorable to its folder; a
    // half-unpacked level goes for good; the folder of a run still going stays.
    void leftoverStaging()
    {
        const QString folder = m_home->createLevel("Castle");
        QVERIFY(ZipBuilder().add("levellist.dat", "new").write(m_archive));
        const StagedLevel level = stageLevel(archiveUrl(), castle());
        QCOMPARE(::renameat2(AT_FDCWD, QFile::encodeName(level.staged).constData(), AT_FDCWD,
                             QFile::encodeName(folder).constData(), RENAME_EXCHANGE),
                 0);
        const QString swapped = ".quillmor-staging-999999999-abcdef";
        QVERIFY(QDir().rename(QFileInfo(level.staged).path(), m_levels + '/' + swapped));
        const QString half = ".quillmor-staging-999999998-abcdef";
        const QString running = ".quillmor-staging-" + QString::number(getpid()) + "-abcdef";
        for (const QString& name : {half, running})
            m_home->createFile(m_levels + '/' + name + "/Castle/levellist.dat", "half");

        Database database;
        database.load();
        QStringList rows; // none of them a staging folder's level
        for (qsizetype i = 0; i < database.count(); ++i)
            rows << database.objectAtIndex(i).value("urlInstall").toString();
        QCOMPARE(rows.filter("staging") + rows.filter("Castle"), QStringList{castle().toString()});

        clearLeftoverStaging();
        const QString trash = m_home->dataHome() + "/Trash/files";
        const QStringList left = entries(m_levels) +
                                 QStringList(contents(folder + "/levellist.dat")) +
                                 QStringList("|") + entries(trash) + entries(trash + "/Castle") +
                                 QStringList(trashedFrom(m_home->dataHome(), "Castle"));
        QCOMPARE(left, QStringList({running, "Castle", "new", "|", "Castle"}) + kOldLevel +
                           QStringList(folder));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "InstallTest.moc"
