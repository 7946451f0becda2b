#include "install/Archive.h"

#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

void patch(const QString& path, qsizetype offset, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(offset));
    QCOMPARE(file.write(bytes), bytes.size());
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

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_folder = m_home->createDir("levels/Castle");
        m_archive = m_home->filePath("Castle.zip");
    }

    void unpacksTopLevelFilesOnly_data()
    {
        QTest::addColumn<QByteArrayList>("names");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("written");
        const QByteArray absolute = QFile::encodeName(QDir::tempPath()) + "/quillmor-absolute-" +
                                    QByteArray::number(getpid());

        QTest::newRow("two top-level files") << QByteArrayList{"levellist.dat", "castle.map"}
                                             << true << QStringList{"castle.map", "levellist.dat"};
        QTest::newRow("UTF-8 name") << QByteArrayList{"Ch\xc3\xa2teau.map"} << true
                                    << QStringList{QString::fromUtf8("Ch\xc3\xa2teau.map")};
        QTest::newRow("empty archive") << QByteArrayList{} << true << QStringList{};
        QTest::newRow("only entry inside a folder")
            << QByteArrayList{"maps/castle.map"} << false << QStringList{};
        QTest::newRow("folder entry")
            << QByteArrayList{"maps/", "levellist.dat"} << false << QStringList{};
        QTest::newRow("second of three inside a folder")
            << QByteArrayList{"levellist.dat", "maps/castle.map", "castle.map"} << false
            << QStringList{"levellist.dat"};
        QTest::newRow("parent component")
            << QByteArrayList{"../escape.dat"} << false << QStringList{};
        QTest::newRow("parent alone") << QByteArrayList{".."} << false << QStringList{};
        QTest::newRow("absolute name") << QByteArrayList{absolute} << false << QStringList{};
        QTest::newRow("invalid UTF-8") << QByteArrayList{"level\xff.dat"} << false << QStringList{};
        QTest::newRow("overlong UTF-8 slash")
            << QByteArrayList{"..\xc0\xaf.dat"} << false << QStringList{};
    }
    void unpacksTopLevelFilesOnly()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(bool, result);
        QFETCH(QStringList, written);
        ZipBuilder zip;
        for (const QByteArray& name : names) {
            if (name.endsWith('/'))
                zip.addFolder(name);
            else
                zip.add(name, "data of " + name);
        }
        QVERIFY(zip.write(m_archive));

        QCOMPARE(unzip(), result);
        QCOMPARE(entries(m_folder), written);
        for (const QString& name : written)
            QCOMPARE(contents(inFolder(name)), "data of " + name.toUtf8());
        QCOMPARE(entries(m_home->filePath("levels")), QStringList{"Castle"});
        for (const QByteArray& name : names)
            QVERIFY(!name.startsWith('/') || !QFileInfo::exists(QFile::decodeName(name)));
    }

    void unreadableArchiveLeavesFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("not a zip") << "page";
        QTest::newRow("cut short") << "cut";
    }
    void unreadableArchiveLeavesFolder()
    {
        QFETCH(QString, kind);
        if (kind == "page") {
            m_home->createFile(m_archive, "<html>404 Not Found</html>\n");
        } else if (kind == "cut") {
            QVERIFY(ZipBuilder().add("levellist.dat", noise(4096)).write(m_archive));
            QVERIFY(QFile::resize(m_archive, QFileInfo(m_archive).size() / 2));
        }
        m_home->createFile(inFolder("keep.txt"), "kept");

        QVERIFY(unzip());
        QCOMPARE(entries(m_folder), QStringList{"keep.txt"});
        QCOMPARE(contents(inFolder("keep.txt")), "kept");
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
        QTest::newRow("folder") << "folder";
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
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(planted.constData(), 0666), 0);
        else
            QCOMPARE(::mkdir(planted.constData(), 0755), 0);
        QVERIFY(ZipBuilder().add("levellist.dat", "hostile").write(m_archive));

        QVERIFY(!unzip());
        QCOMPARE(contents(outside), "precious");
        QCOMPARE(entries(m_folder), QStringList{"levellist.dat"});
    }

    void damagedEntryStopsAndIsRemoved_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("damage");
        QTest::newRow("stored byte flipped") << int(ZipBuilder::Stored) << "flip";
        QTest::newRow("deflated byte flipped") << int(ZipBuilder::Deflated) << "flip";
        QTest::newRow("data shorter than recorded") << int(ZipBuilder::Deflated) << "size";
    }
    void damagedEntryStopsAndIsRemoved()
    {
        QFETCH(int, method);
        QFETCH(QString, damage);
        const QByteArray data = noise(100000), first = noise(300000);
        QVERIFY(ZipBuilder()
                    .add("levellist.dat", first)
                    .add("castle.map", data, ZipBuilder::Method(method))
                    .add("after.map", "2")
                    .write(m_archive));
        const QByteArray zip = contents(m_archive);
        if (damage == "flip") {
            const qsizetype at = zip.indexOf("castle.map") + 10 + 5000;
            patch(m_archive, at, QByteArray(1, char(~zip.at(at))));
        } else {
            // The central directory's uncompressed size, 24 bytes into the entry's record.
            const qsizetype record = zip.lastIndexOf("castle.map") - 46;
            const quint32 size = quint32(data.size()) + 100;
            patch(m_archive, record + 24,
                  QByteArray::fromRawData(reinterpret_cast<const char*>(&size), 4));
        }

        QVERIFY(!unzip());
        QCOMPARE(entries(m_folder), QStringList{"levellist.dat"});
        QVERIFY(contents(inFolder("levellist.dat")) == first);
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

        const auto digest = calcSHA1(QUrl::fromLocalFile(path));
        QCOMPARE(digest.has_value(), !expected.isEmpty());
        if (!digest)
            return;
        QCOMPARE(digest->toHex(), expected);
        const QString copy = m_home->createFile("Download/Other.zip", content);
        QCOMPARE(calcSHA1(QUrl::fromLocalFile(copy)), digest);
    }
};

QTEST_GUILESS_MAIN(ArchiveTest)
#include "ArchiveTest.moc"
