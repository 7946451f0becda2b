// The platform layer against real files, a real peer reader and a temporary home.

#include "platform/Alert.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "tests/support/TestHome.h"

#include <QAbstractButton>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

QVariantMap everyType()
{
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary.append(char(i * 7));
    const QDateTime leapDay(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
    return {{"text", "a < b & c > d \"quoted\""},
            {"unicode", "Ünïcödé ✓ 日本 \U0001F600"},
            {"empty", QString()},
            {"lines", "  spaced  \n second"},
            {"integer", qint64(-9007199254740993LL)},
            {"real", 3.141592653589793},
            {"yes", true},
            {"no", false},
            {"past", distantPast()},
            {"date", leapDay},
            {"data", binary},
            {"nodata", QByteArray()},
            {"list", QVariantList{1LL, "two", QVariantList{}, QVariantMap{{"k", 3.5}}}},
            {"dict", QVariantMap{}}};
}

QByteArray runPython(const QString& script, const QString& path)
{
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
        QTest::qSkip("python3 is not installed", __FILE__, __LINE__);
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, path});
    python.waitForFinished(30000);
    return python.readAllStandardOutput();
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;

private slots:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void propertyListRoundTrip()
    {
        const QString path = m_home->filePath(QStringLiteral("new/folder/all.plist"));
        QVERIFY(PropertyList::writeFile(path, everyType()));
        const QVariantMap read = PropertyList::readFile(path).value().toMap();
        QCOMPARE(read, everyType());
        QCOMPARE(read.value("data").metaType().id(), int(QMetaType::QByteArray));
        QCOMPARE(read.value("integer").metaType().id(), int(QMetaType::LongLong));

        // Characters XML cannot carry never make the file unreadable, for us or a peer.
        const QString hostile = QStringLiteral("a\x01"
                                               "b\rc\r\nd") +
                                QChar(0xFFFE);
        QVERIFY(PropertyList::writeFile(path, QVariantMap{{"name", hostile}}));
        QCOMPARE(PropertyList::readFile(path).value().toMap().value("name").toString(),
                 QStringLiteral("a\uFFFDb\rc\r\nd\uFFFD"));
        QCOMPARE(runPython("import plistlib,sys\n"
                           "print(ascii(plistlib.load(open(sys.argv[1],'rb'))['name']))",
                           path),
                 QByteArray("'a\\ufffdb\\rc\\r\\nd\\ufffd'\n"));
        const QDateTime beyond(QDate(12026, 1, 1), QTime(0, 0), Qt::UTC);
        QVERIFY(PropertyList::writeFile(path, QVariantList{beyond, beyond.addYears(-14026)}));
        QCOMPARE(PropertyList::readFile(path).value().toList(),
                 (QVariantList{QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC),
                               distantPast()}));
        QVERIFY(PropertyList::writeFile(path, everyType()));

        // A value no property list can carry is refused, and the file stays as it was.
        QVERIFY(!PropertyList::writeFile(path, QVariantList{QVariant::fromValue(QPoint(1, 2))}));
        QCOMPARE(PropertyList::readFile(path)->toMap(), everyType());
        QVERIFY(!PropertyList::storable(QVariantList{QVariant::fromValue(QPoint(1, 2))}));
    }

    // storable() gives what a write and a read give back, for every UTF-16 unit, lone
    // surrogates included, and for the other types; nulls go.
    void propertyListStorableForm()
    {
        QString every;
        for (int c = 1; c <= 0xFFFF; ++c)
            every += QChar(char16_t(c));
        every += QStringLiteral("\U0001F600");
        const QDateTime withMs(QDate(2026, 12, 6), QTime(16, 23, 1, 999), Qt::UTC);
        const QVariantMap value{{"text", every},
                                {"date", withMs},
                                {"beyond", QDateTime(QDate(12026, 1, 1), QTime(0, 0), Qt::UTC)},
                                {"int", 5},
                                {"uint", 7u},
                                {"url", QUrl("http://h/a b")},
                                {"null", QVariant()},
                                {"list", QVariantList{QVariant(), 1.5}}};
        const QVariantMap kept = PropertyList::storable(value).value().toMap();
        const QString path = m_home->filePath(QStringLiteral("storable.plist"));
        QVERIFY(PropertyList::writeFile(path, kept));
        QCOMPARE(PropertyList::readFile(path)->toMap(), kept);
        QVERIFY(!kept.contains("null"));
        QCOMPARE(kept.value("date").toDateTime(), withMs.addMSecs(-999));
        QCOMPARE(kept.value("url"), QVariant("http://h/a%20b"));
        QCOMPARE(PropertyList::storable(every), kept.value("text"));
        // The writer's own output for the raw value is the same text.
        QVERIFY(PropertyList::writeFile(path, QVariantMap{{"text", every}}));
        QCOMPARE(PropertyList::readFile(path)->toMap().value("text"), kept.value("text"));
    }

    void propertyListReadByPeer()
    {
        const QString path = m_home->filePath(QStringLiteral("ours.plist"));
        QVERIFY(PropertyList::writeFile(path, everyType()));
        const QByteArray summary = runPython(
            "import plistlib,sys\nd=plistlib.load(open(sys.argv[1],'rb'))\n"
            "print(d['text'], d['unicode'], d['integer'], repr(d['real']), d['yes'], d['no'])\n"
            "print(d['past'].isoformat(), d['date'].isoformat(), len(d['data']), sum(d['data']))\n"
            "print(d['list'][3]['k'], d['dict'], repr(d['lines']), d['nodata'])",
            path);
        QCOMPARE(QString::fromUtf8(summary),
                 QStringLiteral("a < b & c > d \"quoted\" Ünïcödé ✓ 日本 \U0001F600 "
                                "-9007199254740993 3.141592653589793 True False\n"
                                "0001-01-01T00:00:00 2024-02-29T23:59:58 1000 126516\n"
                                "3.5 {} '  spaced  \\n second' b''\n"));
    }

    void propertyListReadsPeerFile()
    {
        const QString path = m_home->filePath(QStringLiteral("theirs.plist"));
        runPython("import plistlib,sys,datetime\n"
                  "v={'name':'Ünï <&>','n':-5,'r':0.5,'b':True,'d':bytes(range(256))*3,\n"
                  " 'past':datetime.datetime(1,1,1),'when':datetime.datetime(2020,5,17,8,9,10),\n"
                  " 'list':[{'k':[]},'x'],'s':''}\n"
                  "plistlib.dump([v],open(sys.argv[1],'wb'))",
                  path);
        QByteArray bytes;
        for (int i = 0; i < 3 * 256; ++i)
            bytes.append(char(i));
        const QVariantMap expected{
            {"name", "Ünï <&>"},
            {"n", -5LL},
            {"r", 0.5},
            {"b", true},
            {"d", bytes},
            {"past", distantPast()},
            {"when", QDateTime(QDate(2020, 5, 17), QTime(8, 9, 10), Qt::UTC)},
            {"list", QVariantList{QVariantMap{{"k", QVariantList{}}}, "x"}},
            {"s", ""}};
        QCOMPARE(PropertyList::readFile(path).value().toList(), QVariantList{expected});
    }

    void propertyListBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray head = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">";
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("this is not a property list");
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe garbage", 14);
        QTest::newRow("other root") << QByteArray("<html><body>login</body></html>");
        QTest::newRow("cut in a value") << head + "<array><string>abc";
        QTest::newRow("cut before the end") << head + "<array><string>abc</string></array>";
        QTest::newRow("no value") << head + "</plist>";
        QTest::newRow("two values") << head + "<true/><false/></plist>";
        QTest::newRow("key without value") << head + "<dict><key>a</key></dict></plist>";
        QTest::newRow("value without key") << head + "<dict><string>a</string></dict></plist>";
        QTest::newRow("bad integer") << head + "<integer>12x</integer></plist>";
        QTest::newRow("bad date") << head + "<date>2020-13-01T00:00:00Z</date></plist>";
        QTest::newRow("bad data") << head + "<data>!!!!</data></plist>";
        QTest::newRow("unknown type") << head + "<set><true/></set></plist>";
        QTest::newRow("element in string") << head + "<string>a<b/>c</string></plist>";
        QTest::newRow("junk after the end") << head + "<true/></plist><plist/>";
    }

    void propertyListBrokenFiles()
    {
        QFETCH(QByteArray, text);
        QVERIFY(!PropertyList::readFile(m_home->createFile(QStringLiteral("broken.plist"), text)));
    }

    void userDefaultsPersistBeneathRegistration()
    {
        const QVariantMap registered{{"source", QVariantList{"d"}}, {"lastSelection", "none"}};
        {
            UserDefaults defaults;
            defaults.registerDefaults(registered);
            defaults.setObject(QStringLiteral("Castle"), QStringLiteral("lastSelection"));
        }
        UserDefaults second;
        // The registration domain lives in memory only; the user's value came from the file.
        QVERIFY(!second.objectForKey(QStringLiteral("source")).isValid());
        second.registerDefaults(registered);
        QCOMPARE(second.objectForKey(QStringLiteral("source")).toList(), QVariantList{"d"});
        QCOMPARE(second.objectForKey(QStringLiteral("lastSelection")).toString(), "Castle");
        second.removeObject(QStringLiteral("lastSelection"));
        QCOMPARE(second.objectForKey(QStringLiteral("lastSelection")).toString(), "none");
        QVERIFY(!UserDefaults().objectForKey(QStringLiteral("lastSelection")).isValid());
    }

    void userDefaultsStandardFollowsTheHome()
    {
        UserDefaults::standard().setObject(1LL, QStringLiteral("first"));
        {
            TestHome other;
            QVERIFY(!UserDefaults::standard().objectForKey(QStringLiteral("first")).isValid());
        }
        QCOMPARE(UserDefaults::standard().objectForKey(QStringLiteral("first")).toLongLong(), 1);
    }

    void userDefaultsReplaceADamagedFile()
    {
        m_home->createFile(QStringLiteral("config/org.quillmor.Launcher.plist"), "<plist><dict>");
        UserDefaults().setObject(QStringLiteral("x"), QStringLiteral("lastSelection"));
        QCOMPARE(UserDefaults().objectForKey(QStringLiteral("lastSelection")).toString(), "x");

        // A value the file cannot hold is refused, and later values are still written.
        UserDefaults defaults;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot store"));
        defaults.setObject(QVariant::fromValue(QPoint(1, 2)), QStringLiteral("bad"));
        defaults.setObject(QVariantList{QVariant(), QStringLiteral("a\x01")}, QStringLiteral("l"));
        QCOMPARE(UserDefaults().objectForKey(QStringLiteral("l")),
                 QVariant(QVariantList{QStringLiteral("a\uFFFD")}));
    }

    void applicationsByIdentifier_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<QString>("program");
        QTest::newRow("user entry") << "data" << QByteArray("/opt/q/game") << "/opt/q/game";
        QTest::newRow("system entry") << "system" << QByteArray("/opt/q/game %f") << "/opt/q/game";
        QTest::newRow("quoted, field codes")
            << "data" << QByteArray("\"/opt/my games/q\" %U %i --flag") << "/opt/my games/q";
        QTest::newRow("relative, through PATH") << "data" << QByteArray("sh %u") << "sh";
        QTest::newRow("string escapes before quoting")
            << "data" << QByteArray("\"/opt/my\\sgames/\\\\\\\\q\" %f") << "/opt/my games/\\q";
        QTest::newRow("escaped space splits unquoted")
            << "data" << QByteArray("/opt/my\\sgames/q %f") << "/opt/my";
    }

    void applicationsByIdentifier()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, exec);
        QFETCH(QString, program);
        m_home->createFile(folder + QStringLiteral("/applications/org.example.Game.desktop"),
                           "[Desktop Entry]\nType=Application\nExec=" + exec + "\n");
        const auto bundle = Workspace::applicationBundle(QStringLiteral("org.example.Game"));
        QVERIFY(bundle);
        QCOMPARE(bundle->bundleIdentifier(), QStringLiteral("org.example.Game"));
        const QString expected =
            program.startsWith(u'/') ? program : QStandardPaths::findExecutable(program);
        QCOMPARE(bundle->executablePath(), expected);
        QVERIFY(QDir::isAbsolutePath(bundle->executablePath()));
    }

    void applicationsNotFound()
    {
        const QString id = QStringLiteral("org.example.Game");
        QVERIFY(!Workspace::applicationBundle(id));
        m_home->createFile(QStringLiteral("system/applications/org.example.Game.desktop"),
                           "[Desktop Entry]\nExec=/opt/game\n");
        QVERIFY(Workspace::applicationBundle(id));
        // The user's hidden entry masks the system-wide one.
        m_home->createFile(QStringLiteral("data/applications/org.example.Game.desktop"),
                           "[Desktop Entry]\nHidden=true\nExec=/opt/game\n");
        QVERIFY(!Workspace::applicationBundle(id));
        QVERIFY(!Workspace::applicationBundle(QStringLiteral("../applications/org.example.Game")));
        m_home->createFile(QStringLiteral("data/applications/org.example.Empty.desktop"),
                           "[Desktop Entry]\nExec=\n");
        QVERIFY(!Workspace::applicationBundle(QStringLiteral("org.example.Empty")));
    }

    void trashInATemporaryHome_data()
    {
        QTest::addColumn<bool>("dataFolderExists");
        QTest::newRow("data folder present") << true;
        QTest::newRow("data folder not made yet") << false;
    }

    void trashInATemporaryHome()
    {
        QFETCH(bool, dataFolderExists);
        const QString folder = QFileInfo(m_home->createFile("work/level/levellist.dat")).path();
        if (dataFolderExists)
            m_home->createDir(QStringLiteral("data"));
        QVERIFY(Workspace::recycle(folder));
        QVERIFY(!QFileInfo::exists(folder));
        const QString trash = m_home->dataHome() + QStringLiteral("/Trash/");
        QVERIFY(QFileInfo::exists(trash + QStringLiteral("files/level/levellist.dat")));
        QVERIFY(QFileInfo::exists(trash + QStringLiteral("info/level.trashinfo")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("files")));
        QVERIFY(!Workspace::recycle(folder));
    }

    void alertAnswersInButtonOrder()
    {
        QMainWindow window;
        window.show();
        int answered = 0;
        auto* alert = new Alert(&window);
        alert->addButtonWithTitle(QStringLiteral("New Directory"));
        alert->addButtonWithTitle(QStringLiteral("Overwrite"));
        QAbstractButton* cancel = alert->addButtonWithTitle(QStringLiteral("Cancel"));
        alert->setAlertStyle(Alert::Critical);
        QCOMPARE(alert->icon(), QMessageBox::Critical);
        alert->beginSheetModalForWindow(&window, [&](int code) { answered = code; });
        QVERIFY(alert->isVisible());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        cancel->click();
        QTRY_COMPARE(answered, 1002);
        QTRY_VERIFY(!window.findChild<Alert*>());

        auto* second = new Alert(&window);
        second->addButtonWithTitle(QStringLiteral("OK"));
        second->addButtonWithTitle(QStringLiteral("Cancel"));
        second->beginSheetModalForWindow(&window, [&](int code) { answered = code; });
        QTest::keyClick(second, Qt::Key_Return);
        QTRY_COMPARE(answered, 1000);
    }
};

QTEST_MAIN(PlatformTest)
#include "PlatformTest.moc"
