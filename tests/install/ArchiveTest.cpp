#include "install/Archive.h"

#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Drops to the unprivileged "nobody" for its lifetime when the tests run as root, because
// root writes through read-only modes and the outcome of a read-only name hinges on that.
class Unprivileged
{
public:
    Unprivileged() : m_switched(::geteuid() == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0)
    {
    }
    ~Unprivileged()
    {
        if (m_switched && (::seteuid(0) != 0 || ::setegid(0) != 0))
            qFatal("cannot return to root");
    }
    bool ok() const { return m_switched || ::geteuid() != 0; }

private:
    const bool m_switched;
};

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

// Bytes that deflate cannot shrink much, so the compressed data spans many reads.
QByteArray noise(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (char& byte : data) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        byte = char(state);
    }
    return data;
}

QByteArray payload(const QByteArray& name)
{
    return name + noise(100000);
}

// The bytes of an archive holding the names in order, each with its payload; names ending in
// "/" become folder entries.
QByteArray zipOf(const QByteArrayList& names, ZipBuilder::Method method = ZipBuilder::Deflated)
{
    QTemporaryDir dir;
    ZipBuilder zip;
    for (const QByteArray& name : names)
        name.endsWith('/') ? zip.addFolder(name) : zip.add(name, payload(name), method);
    return zip.write(dir.filePath("a.zip")) ? contents(dir.filePath("a.zip")) : QByteArray();
}

// Flips a byte inside the entry's data, which follows its name in the local header.
QByteArray flipped(QByteArray zip, const QByteArray& name)
{
    const qsizetype at = zip.indexOf(name) + name.size() + 5000;
    zip[at] = char(~zip[at]);
    return zip;
}

// Records a different uncompressed size for the entry, in its local header and its central
// directory record alike, so that its data ends early or runs past the recorded size.
QByteArray resized(QByteArray zip, const QByteArray& name, int delta)
{
    for (char* size :
         {zip.data() + zip.indexOf(name) - 30 + 22, zip.data() + zip.lastIndexOf(name) - 46 + 24})
        qToLittleEndian(qFromLittleEndian<quint32>(size) + quint32(delta), size);
    return zip;
}

// Puts a zero byte where the name has an "X", in both headers.
QByteArray withZeroByte(QByteArray zip, const QByteArray& name)
{
    QByteArray cut = name;
    cut[name.indexOf('X')] = '\0';
    return zip.replace(name, cut);
}

// Breaks the list of entries off after the first one: the second record loses its signature.
QByteArray listBrokenOff(QByteArray zip)
{
    const QByteArray record("PK\x01\x02", 4);
    zip[zip.indexOf(record, zip.indexOf(record) + 1)] = 'X';
    return zip;
}

// An archive whose central directory declares about the total size, shared out over small
// entries so that each declares less than 4 GiB.
QByteArray declaring(quint64 total)
{
    const quint64 count = total / 0xfff00000u + 1;
    ZipBuilder builder;
    for (quint64 i = 0; i < count; ++i)
        builder.add("level" + QByteArray::number(i) + ".dat", "small");
    QTemporaryDir dir;
    QByteArray zip = builder.write(dir.filePath("a.zip")) ? contents(dir.filePath("a.zip")) : "";
    const QByteArray record("PK\x01\x02", 4);
    for (qsizetype at = zip.indexOf(record); at >= 0; at = zip.indexOf(record, at + 1))
        qToLittleEndian(quint32(total / count), zip.data() + at + 24);
    return zip;
}

quint64 freeSpace(const QString& path)
{
    struct statvfs fs;
    return ::statvfs(QFile::encodeName(path).constData(), &fs) == 0
               ? quint64(fs.f_bavail) * fs.f_frsize
               : 0;
}

} // namespace

// Unpacks archives made by minizip's writer into a level folder of a temporary home and
// hashes real files.
class ArchiveTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString m_folder;
    QString m_archive;

    bool unzip() const
    {
        return unzipLevel(QUrl::fromLocalFile(m_archive), QUrl::fromLocalFile(m_folder + '/'));
    }
    QString inFolder(const QString& name) const { return QDir(m_folder).filePath(name); }
    static QByteArray absoluteName()
    {
        return QFile::encodeName(QDir::tempPath()) + "/quillmor-absolute-" +
               QByteArray::number(getpid());
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_folder = m_home->createDir("levels/Castle");
        m_archive = m_home->filePath("Castle.zip");
    }

    // A broken build may write the absolute-name row's file; later rows must not see it.
    void cleanup() { QFile::remove(absoluteName()); }

    void unpacksArchive_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("stoppedAt");
        QTest::addColumn<QStringList>("written");
        const QByteArrayList three = {"levellist.dat", "castle.map", "after.map"};
        const QStringList first = {"levellist.dat"};
        const int failed = UnzipReport::EntryFailed;

        QTest::newRow("two top-level files")
            << zipOf({"levellist.dat", "castle.map"}) << int(UnzipReport::Unpacked) << QString()
            << QStringList{"castle.map", "levellist.dat"};
        QTest::newRow("UTF-8 name")
            << zipOf({"Ch\xc3\xa2teau.map"}) << int(UnzipReport::Unpacked) << QString()
            << QStringList{QString::fromUtf8("Ch\xc3\xa2teau.map")};
        QTest::newRow("not a zip") << QByteArray("<html>404</html>")
                                   << int(UnzipReport::NotAnArchive) << QString() << QStringList{};
        // Every rule a name is refused by, each with a row; the first keeps what came before.
        QTest::newRow("second of three with a folder part")
            << zipOf({"levellist.dat", "../castle.map", "castle.map"}) << failed << "../castle.map"
            << first;
        QTest::newRow("backslash")
            << zipOf({"maps\\castle.map"}) << failed << "maps\\castle.map" << QStringList{};
        QTest::newRow("parent alone") << zipOf({".."}) << failed << ".." << QStringList{};
        QTest::newRow("absolute name")
            << zipOf({absoluteName()}) << failed << QString(absoluteName()) << QStringList{};
        QTest::newRow("zero byte inside")
            << withZeroByte(zipOf({"levellist.datXmap"}), "levellist.datXmap") << failed
            << QString::fromUtf8("levellist.dat\xef\xbf\xbdmap") << QStringList{};
        QTest::newRow("control character")
            << zipOf({"level\x01.dat"}) << failed << QString::fromUtf8("level\xef\xbf\xbd.dat")
            << QStringList{};
        QTest::newRow("delete character")
            << zipOf({"level\x7f.dat"}) << failed << QString::fromUtf8("level\xef\xbf\xbd.dat")
            << QStringList{};
        QTest::newRow("overlong UTF-8 slash")
            << zipOf({"..\xc0\xaf.dat"}) << failed
            << QString::fromUtf8("..\xef\xbf\xbd\xef\xbf\xbd.dat") << QStringList{};
        // A damaged entry stops the unpacking and leaves no file of its name.
        QTest::newRow("stored byte flipped")
            << flipped(zipOf(three, ZipBuilder::Stored), "castle.map") << failed << "castle.map"
            << first;
        QTest::newRow("deflated byte flipped")
            << flipped(zipOf(three), "castle.map") << failed << "castle.map" << first;
        QTest::newRow("data shorter than recorded")
            << resized(zipOf(three), "castle.map", 100) << failed << "castle.map" << first;
        QTest::newRow("data longer than recorded")
            << resized(zipOf(three), "castle.map", -100) << failed << "castle.map" << first;
        // Refused before anything is written.
        QTest::newRow("list breaks off after the first entry")
            << listBrokenOff(zipOf(three)) << int(UnzipReport::Refused) << QString()
            << QStringList{};
    }
    void unpacksArchive()
    {
        QFETCH(QByteArray, archive);
        QFETCH(int, outcome);
        QFETCH(QString, stoppedAt);
        QFETCH(QStringList, written);
        m_home->createFile(m_archive, archive);

        const UnzipReport report =
            unzipLevelReport(QUrl::fromLocalFile(m_archive), QUrl::fromLocalFile(m_folder + '/'));
        QCOMPARE(report.outcome, outcome);
        QCOMPARE(report.entry, stoppedAt);
        QCOMPARE(entries(m_folder), written);
        for (const QString& name : written)
            QVERIFY(contents(inFolder(name)) == payload(name.toUtf8()));
        QCOMPARE(entries(m_home->filePath("levels")), QStringList{"Castle"});
        QVERIFY(!QFileInfo::exists(absoluteName()));
    }

    // What fits only by eating into the margin kept free is refused too. The free space is
    // read right before the unpacking, so that other writers on the disk hardly move it.
    void keepsAMarginFree()
    {
        m_home->createFile(m_archive, declaring(freeSpace(m_folder) - (8 << 20)));
        const UnzipReport report =
            unzipLevelReport(QUrl::fromLocalFile(m_archive), QUrl::fromLocalFile(m_folder + '/'));
        QCOMPARE(report.outcome, UnzipReport::Refused);
        QVERIFY(report.reason.contains("free space"));
    }

    void filesAreReadOnlyUnderUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        QTest::newRow("umask 022") << 022 << 0444;
        QTest::newRow("umask 077") << 077 << 0400;
    }
    void filesAreReadOnlyUnderUmask()
    {
        QFETCH(int, mask);
        QFETCH(int, mode);
        QVERIFY(ZipBuilder().add("empty.dat", {}).add("levellist.dat", "1").write(m_archive));
        const mode_t saved = ::umask(mode_t(mask));
        const bool result = unzip();
        ::umask(saved);

        QVERIFY(result);
        for (const char* name : {"empty.dat", "levellist.dat"}) {
            struct stat status;
            QCOMPARE(::stat(QFile::encodeName(inFolder(name)).constData(), &status), 0);
            QCOMPARE(int(status.st_mode & 07777), mode);
        }
        QCOMPARE(QFileInfo(inFolder("empty.dat")).size(), 0);
    }

    // As an ordinary user a read-only file can't be opened for writing: the unpacking stops
    // there and the file keeps what it held.
    void readOnlyNameStops_data()
    {
        QTest::addColumn<bool>("leftBefore");
        QTest::newRow("same name twice in the archive") << false;
        QTest::newRow("left by an earlier install") << true;
    }
    void readOnlyNameStops()
    {
        QFETCH(bool, leftBefore);
        ZipBuilder zip;
        if (!leftBefore)
            zip.add("levellist.dat", "first");
        QVERIFY(zip.add("levellist.dat", "second").add("castle.map", "map").write(m_archive));
        if (leftBefore)
            ::chmod(QFile::encodeName(m_home->createFile(inFolder("levellist.dat"), "first")),
                    0444);
        ::chmod(QFile::encodeName(m_home->path()), 0711);
        ::chmod(QFile::encodeName(m_folder), 0777);

        bool result = true;
        {
            Unprivileged user;
            if (!user.ok())
                QSKIP("cannot drop root privileges here");
            result = unzip();
        }
        QVERIFY(!result);
        QCOMPARE(entries(m_folder), QStringList{"levellist.dat"});
        QCOMPARE(contents(inFolder("levellist.dat")), "first");
    }

    void plantedNameIsNotWrittenThrough_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symbolic link") << "symlink";
        QTest::newRow("hard link") << "hardlink";
        QTest::newRow("named pipe") << "fifo";
    }
    void plantedNameIsNotWrittenThrough()
    {
        QFETCH(QString, kind);
        const QString outside = m_home->createFile("outside.txt", "precious");
        const QByteArray planted = QFile::encodeName(inFolder("levellist.dat"));
        if (kind == "symlink")
            QCOMPARE(::symlink(QFile::encodeName(outside).constData(), planted.constData()), 0);
        else if (kind == "hardlink")
            QCOMPARE(::link(QFile::encodeName(outside).constData(), planted.constData()), 0);
        else
            QCOMPARE(::mkfifo(planted.constData(), 0666), 0);
        QVERIFY(ZipBuilder().add("levellist.dat", "hostile").write(m_archive));

        QVERIFY(!unzip());
        QCOMPARE(contents(outside), "precious");
        QCOMPARE(entries(m_folder), QStringList{"levellist.dat"});
    }

    // A reader holding a shared lock must never see the file cut short or half written.
    void writesUnderExclusiveLock()
    {
        const QString target = m_home->createFile(inFolder("levellist.dat"), "old, longer text");
        QVERIFY(ZipBuilder().add("levellist.dat", "new").write(m_archive));
        const int reader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(reader, LOCK_SH), 0);

        std::atomic<int> result = -1;
        std::thread writer([&] { result = unzip() ? 1 : 0; });
        QTest::qSleep(300);
        const int whileLocked = result;
        const QByteArray seen = contents(target);
        ::flock(reader, LOCK_UN);
        ::close(reader);
        writer.join();

        QCOMPARE(whileLocked, -1);
        QCOMPARE(seen, "old, longer text");
        QCOMPARE(int(result), 1);
        QCOMPARE(contents(target), "new");
    }

    void digest_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray large = noise(1 << 20).append("tail");
        QTest::newRow("empty file")
            << "file" << QByteArray("") << QByteArray("da39a3ee5e6b4b0d3255bfef95601890afd80709");
        QTest::newRow("abc") << "file" << QByteArray("abc")
                             << QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d");
        QTest::newRow("many buffers")
            << "file" << large << QCryptographicHash::hash(large, QCryptographicHash::Sha1).toHex();
        QTest::newRow("missing file") << "missing" << QByteArray() << QByteArray();
        QTest::newRow("folder") << "folder" << QByteArray() << QByteArray();
    }
    void digest()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QString path = m_home->filePath("Castle.zip");
        if (kind == "file")
            m_home->createFile(path, content);
        else if (kind == "folder")
            path = m_folder;

        QCOMPARE(calcSHA1(QUrl::fromLocalFile(path)).value_or(QByteArray()).toHex(), expected);
    }
};

QTEST_GUILESS_MAIN(ArchiveTest)
#include "ArchiveTest.moc"
