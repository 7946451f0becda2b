// The platform layer against real files, a real peer reader and a temporary home.

#include "platform/Alert.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "tests/support/TestHome.h"

#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <memory>

#include <sys/mount.h>

namespace {

QVariantMap everyType()
{
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary.append(char(i * 7));
    return {{"text", "a < b & c > d \"quoted\""},
            {"unicode", "Ünïcödé ✓ 日本 \U0001F600"},
            {"lines", "  spaced  \n second"},
            {"integer", qint64(-9007199254740993LL)},
            {"real", 3.141592653589793},
            {"past", distantPast()},
            {"date", QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC)},
            {"data", binary},
            {"list", QVariantList{1LL, "two", true, false, QString(), QByteArray(), QVariantList{},
                                  QVariantMap{{"k", 3.5}}}},
            {"dict", QVariantMap{}}};
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;

private slots:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    // A write and a read give back what storable() says they will: text without the
    // characters XML cannot carry, dates to the second within the years the form holds. A value no
    // property list can carry is refused, and the file stays as it was. A damaged file reads as
    // none.
    void propertyList_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("read"); // invalid: whatever storable() says
        const QDateTime beyond(QDate(12026, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime withMs(QDate(2026, 12, 6), QTime(16, 23, 1, 999), Qt::UTC);
        auto row = [](const char* name, const QVariant& value, const QVariant& read = {}) {
            QTest::newRow(name) << value << read;
        };
        row("every type", everyType(), everyType());
        row("characters XML cannot carry", QString("a") + QChar(1) + "b\rc\r\nd" + QChar(0xFFFE),
            QString::fromUtf16(u"a\uFFFDb\rc\r\nd\uFFFD"));
        row("dates", QVariantList{beyond, beyond.addYears(-14026), withMs},
            QVariantList{QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC), distantPast(),
                         withMs.addMSecs(-999)});
        row("not storable", QVariantList{QVariant::fromValue(QPoint(1, 2))}, "before");
        // Small enough to sit in a write buffer until the file is committed.
        row("disk full", QString(2000, u'x'), "before");
        // Damaged files, given as the bytes on disk.
        const QByteArray head = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">";
        for (const auto& [name, text] : std::initializer_list<std::pair<const char*, QByteArray>>{
                 {"empty", ""},
                 {"other root", "<html><true/></html>"},
                 {"cut before the end", head + "<array><string>abc</string></array>"},
                 {"no value", head + "</plist>"},
                 {"two values", head + "<true/><false/></plist>"},
                 {"key without value", head + "<dict><key>a</key></dict></plist>"},
                 {"value without key", head + "<dict><string>a</string></dict></plist>"},
                 {"bad date", head + "<date>2020-13-01T00:00:00Z</date></plist>"},
                 {"unknown type", head + "<set><true/></set></plist>"},
                 {"element in string", head + "<string>a<b/>c</string></plist>"},
                 {"junk after the end", head + "<true/></plist><plist/>"}})
            row(name, QVariant(), text);
    }

    void propertyList()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, read);
        const QString path = m_home->filePath("new/folder/value.plist");
        if (!value.isValid()) {
            m_home->createFile(path, read.toByteArray());
            QVERIFY(!PropertyList::readFile(path));
            return;
        }
        // A full disk: a small filesystem of its own, holding "before" and filled to the last
        // byte (down to single bytes, so that not even the last page has room left).
        const bool full = QTest::currentDataTag() == QByteArray("disk full");
        const QByteArray folder = QFile::encodeName(m_home->createDir(QFileInfo(path).path()));
        if (full && mount("tmpfs", folder.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("Only root may mount the small filesystem of a full disk.");
        const auto unmount = qScopeGuard([&] { umount2(folder.constData(), MNT_DETACH); });
        QVERIFY(PropertyList::writeFile(path, "before"));
        QFile filler(path + ".filler");
        if (full)
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (qint64 size = 4096; full && size > 0; size /= 2)
            while (filler.write(QByteArray(size, 'f')) == size) {
            }
        const std::optional<QVariant> kept = PropertyList::storable(value);
        QString reason;
        QCOMPARE(PropertyList::writeFile(path, value, &reason), kept.has_value() && !full);
        QCOMPARE(reason.contains("No space left"), full);
        const QVariant back = PropertyList::readFile(path).value_or(0);
        QCOMPARE(back, full ? QVariant("before") : kept.value_or("before"));
        // Written out too, where a number's type shows.
        QCOMPARE(PropertyList::toXml(back), PropertyList::toXml(read.isValid() ? read : back));
    }

    // The peer reads our file as we meant it and writes it back in its own hand; we read all
    // of it.
    void propertyListPeerRoundTrip()
    {
        const QString path = m_home->filePath("ours.plist");
        QVERIFY(PropertyList::writeFile(path, everyType()));
        if (QStandardPaths::findExecutable("python3").isEmpty())
            QSKIP("python3 is not installed");
        const char* peer = "import plistlib,sys,datetime\n"
                           "v=plistlib.load(open(sys.argv[1],'rb'))\n"
                           "assert v['date']==datetime.datetime(2024,2,29,23,59,58)\n"
                           "plistlib.dump(v,open(sys.argv[1]+'.peer','wb'))";
        QCOMPARE(QProcess::execute("python3", {"-c", peer, path}), 0);
        QCOMPARE(PropertyList::readFile(path + ".peer").value_or(QVariant()),
                 QVariant(everyType()));
    }

    // Values live in the file, written through; registered defaults live in memory beneath
    // them. A damaged file is set aside, what still reads of it kept, and the player told; so
    // is a write that does not reach the disk. What an interrupted write left goes.
    void userDefaults()
    {
        const QByteArray damaged = "<plist><dict><key>lastSelection</key><string>Kept</string>"
                                   "<key>source</key><date>x</date>";
        const QString path = m_home->createFile("config/org.quillmor.Launcher.plist", damaged);
        const QString leftover = m_home->createFile(path + ".Qq1Ww2", "partial",
                                                    QDateTime::currentDateTimeUtc().addDays(-1));
        const QVariantMap registered{{"source", QVariantList{"d"}}, {"lastSelection", "none"}};
        QStringList told; // each failure's message and detail
        {
            UserDefaults defaults;
            defaults.setFailureHandler(
                [&](const QString& m, const QString& d) { told << m + ' ' + d; });
            QCOMPARE(defaults.objectForKey("lastSelection").toString(), "Kept");
            defaults.registerDefaults(registered);
            defaults.setObject("Castle", "lastSelection");
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot store"));
            defaults.setObject(QVariant::fromValue(QPoint(1, 2)), "bad");
        }
        QCOMPARE(told.value(0).section('.', 0, 0), "Part of the preferences could not be read");
        QVERIFY(told.size() == 1 && told[0].contains('"' + path + ".unreadable\""));
        QVERIFY(!QFileInfo::exists(leftover));
        QFile aside(path + ".unreadable");
        QVERIFY(aside.open(QIODevice::ReadOnly) && aside.readAll() == damaged);
        UserDefaults second;
        QVERIFY(!second.objectForKey("source").isValid());
        second.registerDefaults(registered);
        QCOMPARE(second.objectForKey("lastSelection").toString(), "Castle");
        second.removeObject("lastSelection");
        QCOMPARE(second.objectForKey("lastSelection").toString(), "none");
        QVERIFY(!UserDefaults().objectForKey("lastSelection").isValid());
        // A write that cannot reach the file (a folder in its place) keeps the value in memory.
        QFile::remove(path), m_home->createDir(path);
        told.clear();
        second.setFailureHandler([&](const QString& m, const QString& d) { told << m + ' ' + d; });
        QVERIFY(!second.setObject("Ocean", "lastSelection"));
        QCOMPARE(second.objectForKey("lastSelection").toString(), "Ocean");
        QCOMPARE(told.value(0).section(':', 0, 0), "The preferences could not be saved. " + path);
    }

    void applicationsByIdentifier_data()
    {
        // A desktop entry's lines in a folder of the home; the command found, the program
        // first, "" for none.
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("program");
        auto row = [](const char* name, const char* folder, const QByteArray& lines,
                      const char* program) {
            QTest::newRow(name) << folder << lines << program;
        };
        row("user entry", "data", "Exec=/opt/q/game", "/opt/q/game");
        row("system entry", "system", "Exec=/opt/q/game %f", "/opt/q/game");
        row("quoted, field codes", "data", "Exec=\"/opt/my games/q\" %U %i --flag",
            "/opt/my games/q|--flag");
        row("relative, through PATH, a wrapper's words kept", "data", "Exec=env X=1 q %u",
            "env|X=1|q");
        row("no entry", "elsewhere", "Exec=/opt/q/game", "");
        row("user's hidden entry masks the system's", "data", "Hidden=true\nExec=/opt/q", "");
        row("empty Exec", "data", "Exec=", "");
    }

    void applicationsByIdentifier()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, lines);
        QFETCH(QString, program);
        m_home->createFile("system/applications/org.example.Game.desktop",
                           "[Desktop Entry]\nType=Application\nExec=/opt/system/game\n");
        m_home->createFile(folder + "/applications/org.example.Game.desktop",
                           "[Desktop Entry]\nType=Application\n" + lines + "\n");
        if (folder == "elsewhere")
            QFile::remove(m_home->filePath("system/applications/org.example.Game.desktop"));
        const auto bundle = Workspace::applicationBundle("org.example.Game");
        QStringList command = program.split('|', Qt::SkipEmptyParts);
        if (!command.isEmpty() && !command[0].startsWith(u'/'))
            command[0] = QStandardPaths::findExecutable(command[0]);
        QCOMPARE(bundle ? QStringList{bundle->executablePath()} + bundle->arguments()
                        : QStringList(),
                 command);
        QVERIFY(!bundle || bundle->bundleIdentifier() == "org.example.Game");
        QVERIFY(!Workspace::applicationBundle("../applications/org.example.Game"));
    }

    // Before the data folder exists, as in a fresh home, where Qt would trash into "./files".
    void trashInATemporaryHome()
    {
        const QString folder = QFileInfo(m_home->createFile("work/level/levellist.dat")).path();
        QVERIFY(Workspace::recycle(folder));
        const QString trash = m_home->dataHome() + "/Trash/";
        QVERIFY(!QFileInfo::exists(folder) && !QFileInfo::exists("files"));
        QVERIFY(QFileInfo::exists(trash + "files/level/levellist.dat"));
        QVERIFY(QFileInfo::exists(trash + "info/level.trashinfo"));
    }

    // Escape gives Cancel, the third button, though the first is the default; the sheet
    // answers for its window alone and goes once answered.
    void alertEscapeAnswersCancel()
    {
        QMainWindow window;
        window.show();
        int answered = 0;
        auto* alert = new Alert(&window);
        for (const char* title : {"New Directory", "Overwrite", "Cancel"})
            alert->addButtonWithTitle(title);
        alert->beginSheetModalForWindow(&window, [&](int code) { answered = code; });
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QTest::keyClick(alert, Qt::Key_Escape);
        QTRY_COMPARE(answered, 1002);
        QTRY_VERIFY(!window.findChild<Alert*>());
    }
};

QTEST_MAIN(PlatformTest)
#include "PlatformTest.moc"
