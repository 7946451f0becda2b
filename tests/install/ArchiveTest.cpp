#include "install/Archive.h"

#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
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

QByteArray zipOf(const ZipBuilder& zip)
{
    QTemporaryDir dir;
    return zip.write(dir.filePath("a.zip")) ? contents(dir.filePath("a.zip")) : QByteArray();
}

// The bytes of an archive holding the names in order, each with its payload.
QByteArray zipOf(const QByteArrayList& names)
{
    ZipBuilder zip;
    for (const QByteArray& name : names)
        zip.add(name, name + noise(100000));
    return zipOf(zip);
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
    QByteArray zip = zipOf(builder);
    const QByteArray record("PK\x01\x02", 4);
    for (qsizetype at = zip.indexOf(record); at >= 0; at = zip.indexOf(record, at + 1))
        qToLittleEndian(quint32(total / count), zip.data() + at + 24);
    return zip;
}

const QByteArray kAbsolute =
    QFile::encodeName(QDir::tempPath()) + "/quillmor-absolute-" + QByteArray::number(getpid());

} // namespace

// Unpacks archives made by minizip's writer into a level folder of a temporary home and
// hashes real files.
class ArchiveTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QString m_folder;
    QString m_archive;

    UnzipReport unzip() const
    {
        return unzipLevelReport(QUrl::fromLocalFile(m_archive),
                                QUrl::fromLocalFile(m_folder + '/'));
    }
    QString inFolder(const QString& name) const { return QDir(m_folder).filePath(name); }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_folder = m_home->createDir("levels/Castle");
        m_archive = m_home->filePath("Castle.zip");
    }

    // A broken build may write the absolute-name row's file; later rows must not see it.
    void cleanup() { QFile::remove(kAbsolute); }

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
            zipOf(ZipBuilder().add("levellist.datXmap", "data"))
                .replace("datXmap", QByteArray("dat\0map", 7)),
            "3 levellist.dat" + replacement + "map | ");
        row("delete character", zipOf({"level\x7f.dat"}), "3 level" + replacement + ".dat | ");
        row("overlong UTF-8 slash", zipOf({"..\xc0\xaf.dat"}),
            "3 .." + replacement + replacement + ".dat | ");
        row("data shorter than recorded", resized(three, 100), "3 castle.map | levellist.dat");
        row("data longer than recorded", resized(three, -100), "3 castle.map | levellist.dat");
        for (int planted : {1, 2, 3})
            row(QByteArray("planted ").append(char('0' + planted)), zipOf({"levellist.dat"}),
                "3 levellist.dat | levellist.dat?", planted);
        // Refused before anything is written; what fits only by eating into the margin kept free
        // on the disk too.
        row("list breaks off after the first entry", listBrokenOff(three), "2  | ");
        row("fits without the margin",
            declaring(QStorageInfo(QDir::tempPath()).bytesAvailable() - (8 << 20)), "2  | ");
    }
    void unpacksArchive()
    {
        QFETCH(QByteArray, archive);
        QFETCH(int, planted);
        QFETCH(QString, outcome);
        m_home->createFile(m_archive, archive);
        const QString outside = m_home->createFile("outside.txt", "precious");
        const QByteArray from = QFile::encodeName(outside),
                         at = QFile::encodeName(inFolder("levellist.dat"));
        QCOMPARE(planted == 1   ? ::symlink(from.constData(), at.constData())
                 : planted == 2 ? ::link(from.constData(), at.constData())
                 : planted == 3 ? ::mkfifo(at.constData(), 0666)
                                : 0,
                 0);
        const mode_t saved = ::umask(077);
        const UnzipReport report = unzip();
        ::umask(saved);
        QStringList written;
        for (const QString& name : entries(m_folder)) {
            const QFileInfo file(inFolder(name));
            const bool whole =
                file.isFile() && contents(file.filePath()) == name.toUtf8() + noise(100000);
            written << (!whole                                              ? name + '?'
                        : (file.permissions() & 0x7077) == QFile::ReadOwner ? name
                                                                            : name + '!');
        }
        if (QFileInfo::exists(kAbsolute) || entries(m_home->filePath("levels")).size() != 1 ||
            contents(outside) != "precious")
            written << "outside";
        QCOMPARE(QString::number(report.outcome) + ' ' + report.entry + " | " + written.join(' '),
                 outcome);
    }

    // A reader holding a shared lock must never see the file cut short or half written.
    void writesUnderExclusiveLock()
    {
        const QString target = m_home->createFile(inFolder("levellist.dat"), "old, longer text");
        QVERIFY(ZipBuilder().add("levellist.dat", "new").write(m_archive));
        const int reader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(reader, LOCK_SH), 0);
        std::atomic<int> result = -1;
        std::thread writer([&] { result = unzip().outcome; });
        QTest::qSleep(300);
        const QByteArray seen = QByteArray::number(int(result)) + ' ' + contents(target);
        ::flock(reader, LOCK_UN);
        ::close(reader);
        writer.join();
        QCOMPARE(seen + " | " + QByteArray::number(int(result)) + ' ' + contents(target),
                 "-1 old, longer text | 0 new");
    }

    // The digest of a file read in many buffers, and of none.
    void digest()
    {
        const QByteArray large = noise(1 << 20).append("tail");
        m_home->createFile(m_archive, large);
        QCOMPARE(QList({calcSHA1(QUrl::fromLocalFile(m_archive)),
                        calcSHA1(QUrl::fromLocalFile(m_home->createFile("empty"))),
                        calcSHA1(QUrl::fromLocalFile(m_home->filePath("missing")))}),
                 QList<std::optional<QByteArray>>(
                     {QCryptographicHash::hash(large, QCryptographicHash::Sha1),
                      QCryptographicHash::hash("", QCryptographicHash::Sha1), std::nullopt}));
    }
};

QTEST_GUILESS_MAIN(ArchiveTest)
#include "ArchiveTest.moc"
