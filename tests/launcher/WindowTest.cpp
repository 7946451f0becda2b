#include "launcher/WindowPlacement.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "tests/launcher/LauncherFixture.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

// The main window's place on the screen and its About box, on the real window definition.
class WindowTest : public QObject, private LauncherFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Screens' free areas (the window's own first) and a stored frame: one that still lies on a
    // screen stays; none, or one that no screen holds whole, gives the designed 900 x 520 cut to
    // 90% of its screen, centred there. "2x" is a 1280 x 800 screen at scale factor 2.
    void openingFrame_data()
    {
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("stored"); // null: none
        QTest::addColumn<QRect>("frame");
        const QRect wide(0, 0, 1280, 800), twice(0, 0, 640, 400), right(1280, 0, 640, 400);
        const QRect centred(190, 140, 900, 520);
        QTest::newRow("first start") << QList{wide} << QRect() << centred;
        QTest::newRow("first start, 2x") << QList{twice} << QRect() << QRect(32, 20, 576, 360);
        QTest::newRow("on the second screen")
            << QList{wide, QRect(1280, 0, 1920, 1080)} << QRect(1400, 30, 900, 520)
            << QRect(1400, 30, 900, 520);
        QTest::newRow("second screen gone") << QList{wide} << QRect(1400, 30, 900, 520) << centred;
        QTest::newRow("second screen smaller")
            << QList{wide, right} << QRect(1300, 10, 900, 520) << QRect(1312, 20, 576, 360);
    }
    void openingFrame()
    {
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, stored);
        QFETCH(QRect, frame);
        QCOMPARE(WindowPlacement::openingFrame(stored.isNull() ? std::nullopt
                                                               : std::optional<QRect>(stored),
                                               QSize(900, 520), areas),
                 frame);
    }

    // The real window on the test screen, whatever was stored at the last close: it fits the
    // screen, and only a frame that fitted comes back as it was.
    void windowFitsScreen_data()
    {
        QTest::addColumn<QRect>("stored"); // null: a first start
        QTest::addColumn<bool>("kept");
        QTest::newRow("first start") << QRect() << false;
        QTest::newRow("fits") << QRect(20, 30, 600, 400) << true;
        QTest::newRow("off every screen") << QRect(5000, 40, 600, 400) << false;
        QTest::newRow("larger than the screen") << QRect(0, 0, 3000, 2000) << false;
    }
    void windowFitsScreen()
    {
        QFETCH(QRect, stored);
        QFETCH(bool, kept);
        QWidget closed;
        closed.setGeometry(stored);
        if (!stored.isNull())
            UserDefaults::standard().setObject(closed.saveGeometry(), Launcher::windowFrameKey);
        start();
        QVERIFY(window()->screen()->availableGeometry().contains(window()->frameGeometry()));
        QCOMPARE(window()->geometry() == stored, kept);
    }

    // Help > About: the icon, the name, the version, the licence and the web address, which Tab
    // reaches and Return opens; an address no browser takes is told on the box. Escape closes it.
    void aboutBox_data()
    {
        QTest::addColumn<QString>("website");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("told");
        QTest::newRow("web page") << "https://quillmor.org/"
                                  << "https://quillmor.org/" << QString();
        QTest::newRow("no browser for it")
            << "ftp://quillmor.org/" << QString() << "The web page can't be opened.";
    }
    void aboutBox()
    {
        QFETCH(QString, website);
        QFETCH(QString, opened);
        QFETCH(QString, told);
        QVariantMap info = Bundle::main().infoDictionary();
        info.insert("QuillmorWebsite", website);
        home().setInfoPlist(info);
        QCoreApplication::setApplicationVersion("4.5.6");
        start();
        OpenedUrls urls;
        window()->findChild<QAction*>("actionAbout")->trigger();
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box && box->windowModality() == Qt::WindowModal && box->parentWidget() == window());
        QStringList texts;
        bool icon = false;
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            icon = icon || !label->pixmap().isNull();
            if (label->isVisibleTo(box) && !label->text().isEmpty())
                texts.append(label->text());
            QVERIFY(label->accessibleName().isEmpty());
        }
        QVERIFY2(icon, "no icon on the box");
        QCOMPARE(texts.mid(0, 4),
                 (QStringList{"Quillmor Launcher", "Version 4.5.6",
                              "Keeps your Quillmor levels: plays, installs and updates them "
                              "from level feeds.",
                              "Free software under the GNU General Public License, version 3 "
                              "or later."}));
        QTRY_COMPARE(QApplication::activeWindow(), box);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget()->objectName() == "websiteLink");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(urls.list.join(' '), opened);
        QCOMPARE(answerSheet(), told);
        QTRY_COMPARE(QApplication::activeModalWidget(), box);
        QTest::keyClick(box, Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
