// Transfers against the loopback server, with the real progress sheet and alerts on an
// offscreen window.

#include "transfer/DownloadStatus.h"
#include "platform/Alert.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"
#include "transfer/DownloadSheet.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

struct Call
{
    QVariant result;
    QUrl asked;
    bool sheetVisible;
    int alertsVisible;
};

// What the sheet showed whenever its status line changed.
struct Step
{
    QString text;
    int value;
    int maximum;
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// The status texts without repeats of the one before.
QStringList distinctTexts(const QList<Step>& steps)
{
    QStringList texts;
    for (const Step& step : steps)
        if (texts.isEmpty() || texts.last() != step.text)
            texts.append(step.text);
    return texts;
}

// Clicks through the window system, where a window blocked by a modal one ignores the click.
void clickThroughWindow(QAbstractButton* button)
{
    QWidget* top = button->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(top, button->rect().center()));
}

} // namespace

class DownloadStatusTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_server = std::make_unique<HttpFixture>();
        m_status = std::make_unique<DownloadStatus>();
        m_status->setTransferTimeout(2000);
        m_calls.clear();
        m_steps.clear();
        connect(m_status.get(), &DownloadStatus::statusChanged, this, [this](const QString& text) {
            const QProgressBar* bar = m_status->downloadSheet()->progressBar();
            m_steps.append({text, bar->value(), bar->maximum()});
        });
    }

    void cleanup()
    {
        m_status.reset();
        m_window.reset();
        m_server.reset();
        m_home.reset();
    }

    void memoryTransfer_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<bool>("determinate");

        QTest::newRow("content length") << int(HttpFixture::Response::Length) << 16384 << true;
        QTest::newRow("chunked") << int(HttpFixture::Response::Chunked) << 16384 << false;
        QTest::newRow("until close") << int(HttpFixture::Response::UntilClose) << 0 << false;
    }

    void memoryTransfer()
    {
        QFETCH(int, framing);
        QFETCH(int, pieceSize);
        QFETCH(bool, determinate);
        HttpFixture::Response response;
        response.body = randomBytes(200000);
        response.framing = HttpFixture::Response::Framing(framing);
        response.pieceSize = pieceSize;
        response.pieceDelayMs = pieceSize ? 5 : 0;
        m_server->setResponse("/feed", response);
        m_server->setBody("/before", randomBytes(70000));
        const QUrl url = m_server->url("/feed");
        m_status->loadData(m_server->url("/before"), m_window.get(), recorder());
        QVERIFY(waitForCalls(1));
        m_calls.clear();
        m_steps.clear();

        m_status->loadData(url, m_window.get(), recorder());
        QVERIFY(m_status->downloadSheet()->isVisible());
        QVERIFY(m_status->downloadSheet()->windowModality() == Qt::WindowModal);
        QCOMPARE(m_status->downloadSheet()->parentWidget(), m_window.get());
        QVERIFY(waitForCalls(1));

        QCOMPARE(m_calls.size(), 1);
        QCOMPARE(m_calls[0].result.toByteArray(), response.body);
        QCOMPARE(m_calls[0].asked, url);
        QVERIFY(!m_calls[0].sheetVisible);
        QCOMPARE(m_status->data(), std::optional<QByteArray>(response.body));
        QCOMPARE(distinctTexts(m_steps), QStringList({"Connecting...", "Received Response...",
                                                      "Receiving Data...", "Success!"}));
        // Each transfer starts its bar from nothing, whatever the one before left there.
        QCOMPARE(m_steps.first().value, 0);
        QCOMPARE(m_steps.first().maximum, 0);
        // The bar shows the length only when the server announced one.
        for (const Step& step : m_steps.mid(2))
            QCOMPARE(step.maximum, determinate ? int(response.body.size()) : 0);
        QCOMPARE(m_steps.last().value, int(response.body.size()));
        // Cached copies never answer for the server.
        QCOMPARE(m_server->requests().value(1).headers.value("cache-control"), "no-cache");
    }

    void fileTransfer_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<bool>("local");

        QTest::newRow("content length") << int(HttpFixture::Response::Length) << false;
        QTest::newRow("chunked") << int(HttpFixture::Response::Chunked) << false;
        QTest::newRow("file url") << int(HttpFixture::Response::Length) << true;
    }

    void fileTransfer()
    {
        QFETCH(int, framing);
        QFETCH(bool, local);
        HttpFixture::Response response;
        response.body = randomBytes(3 << 20);
        response.framing = HttpFixture::Response::Framing(framing);
        response.pieceSize = 256 * 1024;
        m_server->setResponse("/Castle.zip", response);
        const QUrl url = local
                             ? QUrl::fromLocalFile(m_home->createFile("source.zip", response.body))
                             : m_server->url("/Castle.zip");
        const QUrl target =
            QUrl::fromLocalFile(m_home->createFile("dl/Castle.zip.download", "old"));

        // A memory transfer first, so that the file transfer has a buffer to let go of.
        m_status->loadData(m_server->url("/Castle.zip"), m_window.get(), recorder());
        QVERIFY(waitForCalls(1));
        m_status->loadFile(url, target, m_window.get(), recorder());
        QVERIFY(waitForCalls(2));

        QCOMPARE(m_calls[1].result.toUrl(), target);
        QCOMPARE(m_calls[1].asked, url);
        QFile file(target.toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == response.body);
        QVERIFY(!m_status->data().has_value());
        QCOMPARE(m_steps.last().value, int(response.body.size()));
    }

    void emptyBodyCreatesNoFile()
    {
        m_server->setBody("/empty.zip", {});
        // A leftover of an earlier transfer must not pass for this one's result.
        const QString path = m_home->createFile("dl/empty.zip.download", "stale");
        const QUrl target = QUrl::fromLocalFile(path);

        m_status->loadFile(m_server->url("/empty.zip"), target, m_window.get(), recorder());
        QVERIFY(waitForCalls(1));

        QCOMPARE(m_calls[0].result.toUrl(), target);
        QVERIFY(!QFile::exists(path));
        QVERIFY(visibleAlerts().isEmpty());
    }

    void redirectReportsAskedUrl_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("301") << 301;
        QTest::newRow("302") << 302;
        QTest::newRow("303") << 303;
        QTest::newRow("307") << 307;
        QTest::newRow("308") << 308;
    }

    void redirectReportsAskedUrl()
    {
        QFETCH(int, status);
        const QByteArray body = randomBytes(5000);
        m_server->setRedirect("/old.rss", m_server->url("/new.rss").toString(), status);
        m_server->setBody("/new.rss", body);

        m_status->loadData(m_server->url("/old.rss"), m_window.get(), recorder());
        QVERIFY(waitForCalls(1));

        QCOMPARE(m_calls[0].result.toByteArray(), body);
        QCOMPARE(m_calls[0].asked, m_server->url("/old.rss"));
        QCOMPARE(m_steps.last().maximum, int(body.size()));
        QCOMPARE(m_steps.last().value, int(body.size()));
    }

    void httpErrorFails_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("toFile");
        QTest::newRow("404 into memory") << 404 << false;
        QTest::newRow("404 into a file") << 404 << true;
        QTest::newRow("500 into memory") << 500 << false;
        QTest::newRow("500 into a file") << 500 << true;
    }

    void httpErrorFails()
    {
        QFETCH(int, status);
        QFETCH(bool, toFile);
        m_server->setResponse("/levels.rss",
                              HttpFixture::answer(status, "<html>error page</html>"));
        const QUrl url = m_server->url("/levels.rss");
        const QString path = m_home->filePath("levels.rss.download");

        if (toFile)
            m_status->loadFile(url, QUrl::fromLocalFile(path), m_window.get(), recorder());
        else
            m_status->loadData(url, m_window.get(), recorder());
        QVERIFY(waitForCalls(1));

        QVERIFY(!m_calls[0].result.isValid());
        QCOMPARE(m_calls[0].asked, url);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!m_status->data().value_or(QByteArray()).contains("error page"));
        QTRY_COMPARE(visibleAlerts().size(), 1);
        const Alert* alert = visibleAlerts().constFirst();
        QVERIFY(alert->windowModality() == Qt::WindowModal);
        QCOMPARE(alert->alertStyle(), Alert::Critical);
        QVERIFY(alert->messageText().contains(QString::number(status)));
        QCOMPARE(alert->informativeText(), url.toString());
    }

    void connectionFailureCallsBeforeShowing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << QString() << "refused";
        QTest::newRow("dropped") << "/dropped"
                                 << "closed";
        QTest::newRow("stalled") << "/stalled"
                                 << "timed out";
        QTest::newRow("missing local file") << "missing"
                                            << "missing";
    }

    void connectionFailureCallsBeforeShowing()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        HttpFixture::Response response;
        response.body = randomBytes(100000);
        response.dropAfter = 30000;
        m_server->setResponse("/dropped", response);
        response.dropAfter = -1;
        response.stallAfter = 30000;
        m_server->setResponse("/stalled", response);
        m_status->setTransferTimeout(300);
        const QUrl url = path.isEmpty()      ? HttpFixture::refusedUrl()
                         : path == "missing" ? QUrl::fromLocalFile(m_home->filePath("missing"))
                                             : m_server->url(path);

        m_status->loadData(url, m_window.get(), recorder());
        QVERIFY(waitForCalls(1));

        QVERIFY(!m_calls[0].result.isValid());
        QCOMPARE(m_calls[0].asked, url);
        QVERIFY(!m_calls[0].sheetVisible);
        QCOMPARE(m_calls[0].alertsVisible, 0);
        QTRY_COMPARE(visibleAlerts().size(), 1);
        QVERIFY2(visibleAlerts().constFirst()->messageText().contains(message, Qt::CaseInsensitive),
                 qPrintable(visibleAlerts().constFirst()->messageText()));
        QVERIFY(!m_status->downloadSheet()->isVisible());
    }

    void unwritableDestinationFails()
    {
        m_server->setBody("/Castle.zip", randomBytes(10000));
        const QString path = m_home->filePath("no such folder/Castle.zip.download");

        m_status->loadFile(m_server->url("/Castle.zip"), QUrl::fromLocalFile(path), m_window.get(),
                           recorder());
        QVERIFY(waitForCalls(1));

        QVERIFY(!m_calls[0].result.isValid());
        QTRY_COMPARE(visibleAlerts().size(), 1);
        QVERIFY(visibleAlerts().constFirst()->messageText().contains(path));
    }

    void cancelMakesNoCall_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("cancel button") << false;
        QTest::newRow("escape key") << true;
    }

    void cancelMakesNoCall()
    {
        QFETCH(bool, escape);
        HttpFixture::Response response;
        response.body = randomBytes(100000);
        response.stallAfter = 1000;
        m_server->setResponse("/Castle.zip", response);
        m_status->setTransferTimeout(500);

        m_status->loadData(m_server->url("/Castle.zip"), m_window.get(), recorder());
        QTRY_COMPARE(m_steps.last().text, QString("Receiving Data..."));
        DownloadSheet* sheet = m_status->downloadSheet();
        if (escape)
            QTest::keyClick(sheet, Qt::Key_Escape);
        else
            clickThroughWindow(sheet->cancelButton());

        QVERIFY(!sheet->isVisible());
        QVERIFY(!m_status->isLoading());
        // Long enough for the stalled transfer to have timed out, had it not been cancelled.
        QTest::qWait(800);
        QVERIFY(m_calls.isEmpty());
        QVERIFY(visibleAlerts().isEmpty());
    }

    void completionStartsNextTransfer()
    {
        // A refresh cycle: each completion starts the next feed, a failed one included.
        m_server->setBody("/a.rss", "a");
        m_server->setResponse("/b.rss", HttpFixture::answer(404, "b"));
        m_server->setBody("/c.rss", "c");
        QList<QUrl> queue = {m_server->url("/a.rss"), m_server->url("/b.rss"),
                             m_server->url("/c.rss")};
        QStringList results;
        std::function<void()> next = [&] {
            m_status->loadData(queue.takeFirst(), m_window.get(),
                               [&](const QVariant& result, const QUrl& asked) {
                                   results.append(asked.path() + '=' + result.toString());
                                   if (!queue.isEmpty())
                                       next();
                               });
        };
        next();

        QTRY_COMPARE(results.size(), 3);
        QCOMPARE(results, QStringList({"/a.rss=a", "/b.rss=", "/c.rss=c"}));
        QTRY_COMPARE(visibleAlerts().size(), 1);
        QCOMPARE(visibleAlerts().constFirst()->informativeText(),
                 m_server->url("/b.rss").toString());
        QVERIFY(!m_status->downloadSheet()->isVisible());
    }

    void errorAndNextSheetShareTheWindow_data()
    {
        QTest::addColumn<bool>("dismissErrorFirst");
        QTest::newRow("dismiss the error, then cancel") << true;
        QTest::newRow("cancel, then dismiss the error") << false;
    }

    void errorAndNextSheetShareTheWindow()
    {
        QFETCH(bool, dismissErrorFirst);
        m_server->setResponse("/a.rss", HttpFixture::answer(500));
        HttpFixture::Response stalled;
        stalled.body = randomBytes(10000);
        stalled.stallAfter = 100;
        m_server->setResponse("/b.rss", stalled);
        m_status->setTransferTimeout(60000);

        m_status->loadData(
            m_server->url("/a.rss"), m_window.get(), [&](const QVariant&, const QUrl&) {
                m_status->loadData(m_server->url("/b.rss"), m_window.get(), recorder());
            });
        QTRY_COMPARE(visibleAlerts().size(), 1);
        Alert* alert = visibleAlerts().constFirst();
        DownloadSheet* sheet = m_status->downloadSheet();
        QVERIFY(sheet->isVisible());
        QVERIFY(m_status->isLoading());
        QVERIFY(!alert->frameGeometry().intersects(sheet->frameGeometry()));

        // Each click goes through the window system, which drops clicks on blocked windows.
        QPointer<Alert> watched = alert;
        if (dismissErrorFirst) {
            clickThroughWindow(alert->buttons().constFirst());
            QTRY_VERIFY(!watched);
            QVERIFY(sheet->isVisible());
            clickThroughWindow(sheet->cancelButton());
            QVERIFY(!sheet->isVisible());
        } else {
            clickThroughWindow(sheet->cancelButton());
            QVERIFY(!sheet->isVisible());
            // The error outlives the sheet it rode on, as a sheet of the window.
            QVERIFY(watched && watched->isVisible());
            QCOMPARE(watched->parentWidget(), m_window.get());
            QVERIFY(watched->windowModality() == Qt::WindowModal);
            clickThroughWindow(watched->buttons().constFirst());
            QTRY_VERIFY(!watched);
        }
        QVERIFY(!m_status->isLoading());
        QVERIFY(m_calls.isEmpty());
    }

private:
    DownloadCompletion recorder()
    {
        return [this](const QVariant& result, const QUrl& asked) {
            m_calls.append({result, asked, m_status->downloadSheet()->isVisible(),
                            int(visibleAlerts().size())});
        };
    }

    QList<Alert*> visibleAlerts() const
    {
        QList<Alert*> visible;
        for (Alert* alert : m_window->findChildren<Alert*>())
            if (alert->isVisible())
                visible.append(alert);
        return visible;
    }

    bool waitForCalls(int count)
    {
        return QTest::qWaitFor([&] { return m_calls.size() >= count; }, 10000);
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<DownloadStatus> m_status;
    std::unique_ptr<HttpFixture> m_server;
    QList<Call> m_calls;
    QList<Step> m_steps;
};

QTEST_MAIN(DownloadStatusTest)
#include "DownloadStatusTest.moc"
