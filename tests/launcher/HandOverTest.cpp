#include "tests/launcher/LauncherFixture.h"
#include "tests/support/ZipBuilder.h"

#include <QProcess>
#include <QTest>

// Two launcher programs started on one home at the same moment, on a session bus of their own
// (the test runs under dbus-run-session): one keeps the home and its window, the other hands
// what it was given to the first and ends with status 0, and nothing is lost.
class HandOverTest : public QObject, private LauncherFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void race_data()
    {
        QTest::addColumn<bool>("firstGetsTheZip");
        QTest::newRow("the first started gets the zip") << true;
        QTest::newRow("the second started gets the zip") << false;
    }
    void race()
    {
        QFETCH(bool, firstGetsTheZip);
        QVERIFY(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));
        const QString zip =
            home().createFile("Castle.zip", ZipBuilder().add("levellist.dat", "1").bytes());
        const QString program = qEnvironmentVariable("QUILLMOR_BUILD_DIR") + "/quillmor-launcher";
        QProcess first, second;
        first.start(program, firstGetsTheZip ? QStringList{zip} : QStringList{});
        second.start(program, firstGetsTheZip ? QStringList{} : QStringList{zip});
        QTRY_VERIFY_WITH_TIMEOUT(
            first.state() == QProcess::NotRunning || second.state() == QProcess::NotRunning, 30000);
        QProcess& ended = first.state() == QProcess::NotRunning ? first : second;
        QProcess& kept = &ended == &first ? second : first;
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home().gameLevelDir() + "/Castle/levellist.dat"),
                                 30000);
        QCOMPARE(kept.state(), QProcess::Running);
        kept.kill();
        kept.waitForFinished();
    }
};

QTEST_MAIN(HandOverTest)
#include "HandOverTest.moc"
