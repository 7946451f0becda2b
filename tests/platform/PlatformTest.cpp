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
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

QVariantMap everyType()
{
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary.append(char(i * 7));
    return {
        {QStringLiteral("text"), QStringLiteral("a < b & c > d \"quoted\" 'single'")},
        {QStringLiteral("unicode"), QStringLiteral("Ünïcödé ✓ 日本 \U0001F600")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("spaces"), QStringLiteral("  leading and trailing  \n second line")},
        {QStringLiteral("integer"), qint64(-9007199254740993LL)},
        {QStringLiteral("large"), qint64(9223372036854775807LL)},
        {QStringLiteral("real"), 3.141592653589793},
        {QStringLiteral("yes"), true},
        {QStringLiteral("no"), false},
        {QStringLiteral("past"), distantPast()},
        {QStringLiteral("date"), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC)},
        {QStringLiteral("future"), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC)},
        {QStringLiteral("data"), binary},
        {QStringLiteral("nodata"), QByteArray()},
        {QStringLiteral("list"), QVariantList{1LL, QStringLiteral("two"), QVariantList{},
                                              QVariantMap{{QStringLiteral("k"), 3.5}}}},
        {QStringLiteral("dict"), QVariantMap{}},
    };
}

bool havePython()
{
    return !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty();
}

QByteArray runPython(const QString& script, const QStringList& args = {})
{
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + args);
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
        const auto read = PropertyList::readFile(path);
        QVERIFY(read);
        QCOMPARE(read->toMap(), everyType());
        QCOMPARE(read->toMap().value(QStringLiteral("past")).toDateTime().date().year(), 1);
        QCOMPARE(read->toMap().value(QStringLiteral("data")).metaType().id(),
                 int(QMetaType::QByteArray));
        QCOMPARE(read->toMap().value(QStringLiteral("integer")).metaType().id(),
                 int(QMetaType::LongLong));
        QCOMPARE(read->toMap().value(QStringLiteral("yes")).metaType().id(),
                 int(QMetaType::Bool));
    }

    void propertyListRefusesValuesItCannotCarry()
    {
        const QString path = m_home->filePath(QStringLiteral("x.plist"));
        QVERIFY(PropertyList::writeFile(path, QVariantList{1LL}));
        QVERIFY(!PropertyList::writeFile(path, QVariantList{QVariant::fromValue(QPoint(1, 2))}));
        // The earlier file is untouched by the refused write.
        QCOMPARE(PropertyList::readFile(path)->toList(), QVariantList{1LL});
    }

    void propertyListReadByPeer()
    {
        if (!havePython())
            QSKIP("python3 is not installed");
        const QString path = m_home->filePath(QStringLiteral("ours.plist"));
        QVERIFY(PropertyList::writeFile(path, everyType()));
        const QByteArray summary = runPython(QStringLiteral(
            "import plistlib,sys\n"
            "d=plistlib.load(open(sys.argv[1],'rb'))\n"
            "print(d['text']); print(d['unicode']); print(d['integer']); print(d['large'])\n"
            "print(repr(d['real'])); print(d['yes'], d['no'])\n"
            "print(d['past'].isoformat()); print(d['future'].isoformat())\n"
            "print(len(d['data']), sum(d['data'])); print(d['list'][3]['k'], d['dict'], d['empty']=='')"),
            {path});
        QCOMPARE(QString::fromUtf8(summary),
                 QStringLiteral("a < b & c > d \"quoted\" 'single'\nÜnïcödé ✓ 日本 \U0001F600\n"
                                "-9007199254740993\n9223372036854775807\n3.141592653589793\n"
                                "True False\n0001-01-01T00:00:00\n9999-12-31T23:59:59\n"
                                "1000 126516\n3.5 {} True\n"));
    }

    void propertyListReadsPeerFile()
    {
        if (!havePython())
            QSKIP("python3 is not installed");
        const QString path = m_home->filePath(QStringLiteral("theirs.plist"));
        runPython(QStringLiteral(
                      "import plistlib,sys,datetime\n"
                      "v={'name':'Ünï <&>','n':-5,'r':0.5,'b':True,'d':bytes(range(256))*3,\n"
                      " 'past':datetime.datetime(1,1,1),'when':datetime.datetime(2020,5,17,8,9,10),\n"
                      " 'list':[{'k':[]},'x'],'e':{},'s':''}\n"
                      "plistlib.dump([v],open(sys.argv[1],'wb'))"),
                  {path});
        const auto read = PropertyList::readFile(path);
        QVERIFY(read);
        const QVariantMap map = read->toList().value(0).toMap();
        QCOMPARE(map.value(QStringLiteral("name")).toString(), QStringLiteral("Ünï <&>"));
        QCOMPARE(map.value(QStringLiteral("n")).toLongLong(), -5);
        QCOMPARE(map.value(QStringLiteral("r")).toDouble(), 0.5);
        QCOMPARE(map.value(QStringLiteral("b")).toBool(), true);
        QByteArray bytes;
        for (int i = 0; i < 3 * 256; ++i)
            bytes.append(char(i % 256));
        QCOMPARE(map.value(QStringLiteral("d")).toByteArray(), bytes);
        QCOMPARE(map.value(QStringLiteral("past")).toDateTime(), distantPast());
        QCOMPARE(map.value(QStringLiteral("when")).toDateTime(),
                 QDateTime(QDate(2020, 5, 17), QTime(8, 9, 10), Qt::UTC));
        QCOMPARE(map.value(QStringLiteral("list")).toList().size(), 2);
        QCOMPARE(map.value(QStringLiteral("s")).toString(), QString());
    }

    void propertyListBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("this is not a property list");
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe garbage", 14);
        QTest::newRow("other root") << QByteArray("<html><body>login</body></html>");
        QTest::newRow("cut in a value") << head + "<array><string>abc";
        QTest::newRow("cut after a value") << head + "<array><string>abc</string>";
        QTest::newRow("cut before the end") << head + "<array><string>abc</string></array>";
        QTest::newRow("no value") << head + "</plist>";
        QTest::newRow("two values") << head + "<true/><false/></plist>";
        QTest::newRow("key without value") << head + "<dict><key>a</key></dict></plist>";
        QTest::newRow("value without key") << head + "<dict><string>a</string></dict></plist>";
        QTest::newRow("bad integer") << head + "<integer>12x</integer></plist>";
        QTest::newRow("bad date") << head + "<date>2020-13-01T00:00:00Z</date></plist>";
        QTest::newRow("bad data") << head + "<data>!!!!</data></plist>";
        QTest::newRow("unknown type") << head + "<set><true/></set></plist>";
        QTest::newRow("text in array") << head + "<array>loose</array></plist>";
        QTest::newRow("nested element in string")
            << head + "<string>a<b/>c</string></plist>";
        QTest::newRow("junk after the end") << head + "<true/></plist><plist/>";
    }

    void propertyListBrokenFiles()
    {
        QFETCH(QByteArray, text);
        QVERIFY(!PropertyList::fromXml(text));
        const QString path = m_home->createFile(QStringLiteral("broken.plist"), text);
        QVERIFY(!PropertyList::readFile(path));
    }

    void propertyListMissingFile()
    {
        QVERIFY(!PropertyList::readFile(m_home->filePath(QStringLiteral("absent.plist"))));
    }

    void userDefaultsPersistBeneathRegistration()
    {
        const QVariantMap registered{{QStringLiteral("source"), QVariantList{QStringLiteral("d")}},
                                     {QStringLiteral("lastSelection"), QStringLiteral("none")}};
        {
            UserDefaults defaults;
            defaults.registerDefaults(registered);
            QCOMPARE(defaults.objectForKey(QStringLiteral("source")).toList(),
                     QVariantList{QStringLiteral("d")});
            defaults.setObject(QStringLiteral("Castle"), QStringLiteral("lastSelection"));
            QCOMPARE(defaults.objectForKey(QStringLiteral("lastSelection")).toString(),
                     QStringLiteral("Castle"));
        }
        QVERIFY(QFile::exists(m_home->configHome() + QStringLiteral("/org.quillmor.Launcher.plist")));

        UserDefaults second;
        // The registration domain lives in memory only; the user's value came from the file.
        QVERIFY(!second.objectForKey(QStringLiteral("source")).isValid());
        QCOMPARE(second.objectForKey(QStringLiteral("lastSelection")).toString(),
                 QStringLiteral("Castle"));
        second.registerDefaults(registered);
        QCOMPARE(second.objectForKey(QStringLiteral("lastSelection")).toString(),
                 QStringLiteral("Castle"));
        second.removeObject(QStringLiteral("lastSelection"));
        QCOMPARE(UserDefaults().objectForKey(QStringLiteral("lastSelection")), QVariant());
        QCOMPARE(second.objectForKey(QStringLiteral("lastSelection")).toString(),
                 QStringLiteral("none"));
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

    void userDefaultsIgnoreADamagedFile()
    {
        m_home->createFile(QStringLiteral("config/org.quillmor.Launcher.plist"), "<plist><dict>");
        UserDefaults defaults;
        QVERIFY(!defaults.objectForKey(QStringLiteral("source")).isValid());
        defaults.setObject(QStringLiteral("x"), QStringLiteral("lastSelection"));
        QCOMPARE(UserDefaults().objectForKey(QStringLiteral("lastSelection")).toString(),
                 QStringLiteral("x"));
    }

    void applicationsByIdentifier_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<QString>("program");
        QTest::newRow("user entry, absolute") << QStringLiteral("data") << QByteArray("/opt/q/game")
                                              << QStringLiteral("/opt/q/game");
        QTest::newRow("system entry") << QStringLiteral("system") << QByteArray("/opt/q/game %f")
                                      << QStringLiteral("/opt/q/game");
        QTest::newRow("quoted with field codes")
            << QStringLiteral("data") << QByteArray("\"/opt/my games/q\" %U %i --flag")
            << QStringLiteral("/opt/my games/q");
        QTest::newRow("relative through PATH")
            << QStringLiteral("data") << QByteArray("sh %u") << QStringLiteral("/bin/sh");
    }

    void applicationsByIdentifier()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, exec);
        QFETCH(QString, program);
        m_home->createFile(folder + QStringLiteral("/applications/org.example.Game.desktop"),
                           "[Desktop Entry]\nType=Application\nName=Game\nExec=" + exec + "\n");
        const auto bundle = Workspace::applicationBundle(QStringLiteral("org.example.Game"));
        QVERIFY(bundle);
        QCOMPARE(bundle->bundleIdentifier(), QStringLiteral("org.example.Game"));
        QCOMPARE(QFileInfo(bundle->executablePath()).canonicalFilePath().isEmpty()
                     ? bundle->executablePath()
                     : QFileInfo(bundle->executablePath()).canonicalFilePath(),
                 QFileInfo(program).canonicalFilePath().isEmpty()
                     ? program
                     : QFileInfo(program).canonicalFilePath());
    }

    void applicationsNotFound()
    {
        QVERIFY(!Workspace::applicationBundle(QStringLiteral("org.example.Game")));
        // The user's hidden entry masks the system-wide one.
        m_home->createFile(QStringLiteral("system/applications/org.example.Game.desktop"),
                           "[Desktop Entry]\nExec=/opt/game\n");
        QVERIFY(Workspace::applicationBundle(QStringLiteral("org.example.Game")));
        m_home->createFile(QStringLiteral("data/applications/org.example.Game.desktop"),
                           "[Desktop Entry]\nHidden=true\nExec=/opt/game\n");
        QVERIFY(!Workspace::applicationBundle(QStringLiteral("org.example.Game")));
        QVERIFY(!Workspace::applicationBundle(QStringLiteral("../org.example.Game")));
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
        const QString item = m_home->createFile(QStringLiteral("work/level/levellist.dat"), "x");
        const QString folder = QFileInfo(item).absolutePath();
        if (dataFolderExists)
            m_home->createDir(QStringLiteral("data"));
        QVERIFY(!dataFolderExists || QFileInfo::exists(m_home->dataHome()));
        QVERIFY(Workspace::recycle(folder));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(QFileInfo::exists(m_home->dataHome() + QStringLiteral("/Trash/files/level/levellist.dat")));
        QVERIFY(QFileInfo::exists(m_home->dataHome() + QStringLiteral("/Trash/info/level.trashinfo")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("files")));
        QVERIFY(!Workspace::recycle(folder));
    }

    void alertButtonsAndStyles()
    {
        QMainWindow window;
        window.resize(400, 300);
        window.show();
        int answered = 0;
        auto* alert = new Alert(&window);
        alert->setMessageText(QStringLiteral("Directory exists"));
        alert->addButtonWithTitle(QStringLiteral("New Directory"));
        alert->addButtonWithTitle(QStringLiteral("Overwrite"));
        QAbstractButton* cancel = alert->addButtonWithTitle(QStringLiteral("Cancel"));
        alert->setAlertStyle(Alert::Critical);
        QCOMPARE(alert->icon(), QMessageBox::Critical);
        alert->beginSheetModalForWindow(&window, [&](int code) { answered = code; });
        QVERIFY(alert->isVisible());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(window.findChildren<Alert*>().size(), 1);
        cancel->click();
        QTRY_COMPARE(answered, 1002);
        QTRY_COMPARE(window.findChildren<Alert*>().size(), 0);

        auto* second = new Alert(&window);
        second->addButtonWithTitle(QStringLiteral("OK"));
        second->addButtonWithTitle(QStringLiteral("Cancel"));
        second->setAlertStyle(Alert::Informational);
        QCOMPARE(second->icon(), QMessageBox::Information);
        second->beginSheetModalForWindow(&window, [&](int code) { answered = code; });
        QTest::keyClick(second, Qt::Key_Return);
        QTRY_COMPARE(answered, 1000);
    }
};

QTEST_MAIN(PlatformTest)
#include "PlatformTest.moc"
