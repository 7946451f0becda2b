#include "launcher/LevelDetails.h"
#include "launcher/LevelPictures.h"
#include "tests/launcher/LauncherFixture.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>

// The details pane under the level table, on the real window, with pictures served over
// loopback.
class LevelDetailsTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    LevelDetails* details() const { return window()->findChild<LevelDetails*>(); }

    // The pane's texts as shown, " | " apart ("link" for the web page), then its picture.
    QString seen() const
    {
        QStringList texts;
        for (const QLabel* label : details()->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(details()))
                continue;
            if (!label->pixmap().isNull())
                texts << QString("picture %1x%2 %3")
                             .arg(label->pixmap().width())
                             .arg(label->pixmap().height())
                             .arg(label->pixmap().toImage().pixelColor(5, 5).name());
            else
                texts << (label->text().contains("<a ") ? "link" : label->text());
        }
        return texts.join(" | ");
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // A level selected, then another, then the first again: what the pane shows, how often
    // its picture was fetched and how many files the picture cache holds. A picture that
    // cannot be had is asked for once, leaves no file and no sheet.
    void selectedLevel_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("fetches");
        QTest::addColumn<int>("cached");
        const QString installed =
            QString("Installed on %1, 10 bytes on disk")
                .arg(QLocale().toString(QDate(2025, 3, 4), QLocale::ShortFormat));
        QTest::newRow("picture") << "Castle"
                                 << "picture 160x120 #ff0000 | Castle | By Ann | Towers | "
                                    "Source: http://127.0.0.1:9/feed | " +
                                        installed + " | link"
                                 << 1 << 1;
        QTest::newRow("none") << "Plain"
                              << "Plain" << 0 << 0;
        QTest::newRow("not an image") << "Junk"
                                      << "Junk" << 1 << 0;
        QTest::newRow("too large") << "Huge"
                                   << "Huge" << 1 << 0;
        QTest::newRow("not found") << "Missing"
                                   << "Missing" << 1 << 0;
    }
    void selectedLevel()
    {
        QFETCH(QString, level);
        QFETCH(QString, shown);
        QFETCH(int, fetches);
        QFETCH(int, cached);
        QImage red(320, 240, QImage::Format_RGB32);
        red.fill(Qt::red);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        red.save(&png, "PNG");
        http().setBody("/Castle.png", png.data());
        http().setBody("/Junk.png", "<html>no picture here</html>");
        HttpFixture::Response huge =
            HttpFixture::answer(200, QByteArray(LevelPictures::maximumBytes + 1, 'x'));
        huge.stallAfter = 0;
        http().setResponse("/Huge.png", huge);
        QVariantMap castle = installedLevel("Castle");
        home().createLevel("Castle", QDateTime(QDate(2025, 3, 4), QTime(12, 0), Qt::UTC));
        castle.insert({{"author", "Ann"},
                       {"description", "Towers"},
                       {"urlSource", "http://127.0.0.1:9/feed"},
                       {"urlWebsite", "http://127.0.0.1:9/castle"}});
        QVariantList entries;
        for (const QString name : {"Castle", "Junk", "Huge", "Missing", "Plain"}) {
            QVariantMap entry =
                name == "Castle" ? castle : QVariantMap{{"name", name}, {"guid", name}};
            if (name != "Plain")
                entry.insert("urlThumbnail", http().url('/' + name + ".png").toString());
            entries << entry;
        }
        home().writeCatalogue(entries);
        OpenedUrls opened;
        start();
        QSignalSpy ready(details()->findChild<LevelPictures*>(), &LevelPictures::pictureReady);
        clickRow(level);
        QTRY_COMPARE(ready.size(), fetches);
        clickRow("Standard");
        clickRow(level);
        QTRY_COMPARE(ready.size(), 2 * fetches);
        QTRY_COMPARE(seen(), shown);
        QCOMPARE(std::ranges::count_if(http().requests(),
                                       [&](const QByteArray& request) {
                                           return request.startsWith("GET /" + level.toUtf8());
                                       }),
                 fetches);
        QCOMPARE(QDir(LevelPictures::cacheFolder()).entryList(QDir::Files).size(), cached);
        QVERIFY(!QApplication::activeModalWidget());
        if (shown.endsWith("link")) { // followed from the keyboard, past the texts before it
            details()->findChild<QLabel*>("levelDetailsInstalled")->setFocus(Qt::TabFocusReason);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(opened.list, QStringList("http://127.0.0.1:9/castle"));
        }
        // Nothing selected: the filter hides every level.
        QTest::keyClicks(window()->findChild<QLineEdit*>("levelFilter"), "no such level");
        QTRY_COMPARE(seen(), "Select a level to see its details.");
    }

    // Tab goes from the table into the pane; the split between them comes back at the next
    // start.
    void reachedAndRemembered()
    {
        start();
        clickRow("Standard");
        QTest::keyClick(table(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "levelDetailsName");
        auto* split = window()->findChild<QSplitter*>("levelSplitter");
        split->setSizes({200, 240});
        const QList<int> sizes = split->sizes();
        window()->close();
        stop();
        start();
        QCOMPARE(window()->findChild<QSplitter*>("levelSplitter")->sizes(), sizes);
    }
};

QTEST_MAIN(LevelDetailsTest)
#include "LevelDetailsTest.moc"
