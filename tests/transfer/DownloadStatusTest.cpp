// Transfers against the loopback server, with the real progress sheet and alerts on an
// offscreen window.

#include "transfer/DownloadStatus.h"
#include "platform/Alert.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"
#include "transfer/DownloadSheet.h"

#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

#include <signal.h>
#include <sys/resource.h>

using Response = HttpFixture::Response;

namespace {

struct Call
{
    QVariant result;
    QUrl asked;
    bool nothingShown; // neither the progress sheet nor an error on the window
};

// What the sheet showed whenever its status line changed.
struct Step
{
    QString text;
    int value;
    int maximum;
};

Response randomBody(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return HttpFixture::answer(200, bytes);
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

    void transfer_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<bool>("toFile");
        QTest::addColumn<QString>("source"); // a path on the server, or "file" for a file URL
        QTest::newRow("content length, memory") << int(Response::Length) << false << "/a.zip";
        QTest::newRow("chunked, redirected, file") << int(Response::Chunked) << true << "/moved";
        QTest::newRow("until close, memory") << int(Response::UntilClose) << false << "/a.zip";
        QTest::newRow("file url into a file") << int(Response::Length) << true << "file";
    }

    // The completion of a first memory transfer starts the one under test, which must start
    // its bar from nothing and, going into a file, let go of the bytes the first one kept.
    void transfer()
    {
        QFETCH(int, framing);
        QFETCH(bool, toFile);
        QFETCH(QString, source);
        Response response = randomBody(300000);
        response.framing = Response::Framing(framing);
        response.pieceSize = 16384;
        response.pieceDelayMs = 5;
        m_server->setResponse("/a.zip", response);
        m_server->setRedirect("/moved", m_server->url("/a.zip").toString());
        m_server->setResponse("/before", randomBody(70000));
        const QUrl url = source == "file"
                             ? QUrl::fromLocalFile(m_home->createFile("a.zip", response.body))
                             : m_server->url(source);
        const QUrl target = QUrl::fromLocalFile(m_home->createFile("dl/a.zip.part", "old"));
        m_status->loadData(
            m_server->url("/before"), m_window.get(), [&](const QVariant&, const QUrl&) {
                m_steps.clear();
                if (toFile)
                    m_status->loadFile(url, target, m_window.get(), recorder());
                else
                    m_status->loadData(url, m_window.get(), recorder());
                const DownloadSheet* sheet = m_status->downloadSheet();
                QVERIFY(sheet->isVisible() && sheet->windowModality() == Qt::WindowModal);
                QCOMPARE(sheet->parentWidget(), m_window.get());
            });
        QTRY_COMPARE(m_calls.size(), 1);

        QCOMPARE(m_calls[0].asked, url);
        QVERIFY(m_calls[0].nothingShown);
        QVERIFY(m_calls[0].result == (toFile ? QVariant(target) : QVariant(response.body)));
        QFile file(target.toLocalFile());
        QVERIFY(!toFile || (file.open(QIODevice::ReadOnly) && file.readAll() == response.body));
        QCOMPARE(m_status->data().has_value(), !toFile);
        QStringList texts;
        for (const Step& step : m_steps)
            if (texts.isEmpty() || texts.last() != step.text)
                texts.append(step.text);
        QCOMPARE(texts, QStringList({"Connecting...", "Received Response...", "Receiving Data...",
                                     "Success!"}));
        QCOMPARE(m_steps.first().value, 0);
        QCOMPARE(m_steps.first().maximum, 0);
        // The bar shows the length only when the server announced one.
        const int size = response.body.size();
        for (const Step& step : m_steps.mid(2))
            QCOMPARE(step.maximum, framing == Response::Length ? size : 0);
        QCOMPARE(m_steps.last().value, size);
        // Cached copies never answer for the server.
        QVERIFY(m_server->requests().first().contains("Cache-Control: no-cache"));
    }

    void emptyBodyCreatesNoFile()
    {
        m_server->setBody("/empty.zip", {});
        // A leftover of an earlier transfer must not pass for this one's result.
        const QUrl target = QUrl::fromLocalFile(m_home->createFile("empty.zip.part", "stale"));

        m_status->loadFile(m_server->url("/empty.zip"), target, m_window.get(), recorder());
        QTRY_COMPARE(m_calls.size(), 1);

        QCOMPARE(m_calls[0].result.toUrl(), target);
        QVERIFY(!QFile::exists(target.toLocalFile()));
        QVERIFY(visibleAlerts().isEmpty());
    }

    void failureCallsBeforeShowingError_data()
    {
        // source: a path on the server, "refused" or "missing"; message: what the error says.
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("toFile");
        QTest::addColumn<QString>("message");
        QTest::newRow("404 into memory") << "/404" << false << "404";
        QTest::newRow("500 into a file") << "/500" << true << "500";
        QTest::newRow("refused") << "refused" << false << "refused";
        QTest::newRow("dropped") << "/dropped" << false << "closed";
        QTest::newRow("stalled") << "/stalled" << false << "timed out";
        QTest::newRow("missing local file") << "missing" << false << "missing";
        QTest::newRow("unwritable file") << "/ok" << true << "no folder";
        QTest::newRow("disk full") << "/full" << true << "could not be saved";
    }

    void failureCallsBeforeShowingError()
    {
        QFETCH(QString, source);
        QFETCH(bool, toFile);
        QFETCH(QString, message);
        Response response = randomBody(100000);
        m_server->setResponse("/ok", response);
        response.dropAfter = 30000;
        m_server->setResponse("/dropped", response);
        response.dropAfter = -1;
        response.stallAfter = 30000;
        m_server->setResponse("/stalled", response);
        m_server->setResponse("/404", HttpFixture::answer(404, "error page"));
        m_server->setResponse("/500", HttpFixture::answer(500, "error page"));
        Response full = randomBody(70000); // in small pieces, which a buffer would hold back
        full.pieceSize = 1024;
        full.pieceDelayMs = 1;
        m_server->setResponse("/full", full);
        m_status->setTransferTimeout(300);
        // A file size limit fails writes past 64 KiB as a full disk would.
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit saved = limit;
        if (source == "/full") {
            signal(SIGXFSZ, SIG_IGN);
            limit.rlim_cur = 65536;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        const QUrl url = source == "refused"   ? HttpFixture::refusedUrl()
                         : source == "missing" ? QUrl::fromLocalFile(m_home->filePath("missing"))
                                               : m_server->url(source);
        // Only the good answer goes to a folder that is not there.
        const QString path = m_home->filePath(source == "/ok" ? "no folder/a.part" : "a.part");

        if (toFile)
            m_status->loadFile(url, QUrl::fromLocalFile(path), m_window.get(), recorder());
        else
            m_status->loadData(url, m_window.get(), recorder());
        QTRY_COMPARE(m_calls.size(), 1);
        setrlimit(RLIMIT_FSIZE, &saved);

        QVERIFY(!m_calls[0].result.isValid());
        QCOMPARE(m_calls[0].asked, url);
        QVERIFY(m_calls[0].nothingShown);
        QVERIFY(!m_status->data().value_or(QByteArray()).contains("error page"));
        QCOMPARE(QFile::exists(path), source == "/full"); // a partial file stays a ".download"
        QTRY_COMPARE(visibleAlerts().size(), 1);
        const Alert* alert = visibleAlerts().constFirst();
        QVERIFY2(alert->messageText().contains(message, Qt::CaseInsensitive),
                 qPrintable(alert->messageText()));
        QCOMPARE(alert->informativeText(), url.toDisplayString());
    }

    void cancelMakesNoCall()
    {
        Response response = randomBody(100000);
        response.stallAfter = 1000;
        m_server->setResponse("/Castle.zip", response);
        m_server->setBody("/ok", "ok");
        m_status->setTransferTimeout(500);

        // A load over a running one cancels it: only the second is answered.
        m_status->loadData(m_server->url("/Castle.zip"), m_window.get(), recorder());
        m_status->loadData(m_server->url("/ok"), m_window.get(), recorder());
        QTRY_COMPARE(m_calls.size(), 1);
        QCOMPARE(m_calls[0].asked, m_server->url("/ok"));
        m_calls.clear();

        m_status->loadData(m_server->url("/Castle.zip"), m_window.get(), recorder());
        QTRY_COMPARE(m_steps.last().text, QString("Receiving Data..."));
        DownloadSheet* sheet = m_status->downloadSheet();
        clickThroughWindow(sheet->cancelButton());

        QVERIFY(!sheet->isVisible());
        // Long enough for the stalled transfer to have timed out, had it not been cancelled.
        QTest::qWait(800);
        QVERIFY(m_calls.isEmpty());
        QVERIFY(visibleAlerts().isEmpty());
    }

    void errorAndNextSheetShareTheWindow_data()
    {
        QTest::addColumn<bool>("dismissErrorFirst");
        QTest::newRow("dismiss the error, then cancel") << true;
        QTest::newRow("cancel, then dismiss the error") << false;
    }

    // A refresh over several feeds: a 500, then a good feed, then one still loading. The
    // first error stays visible and answerable over every sheet that follows.
    void errorAndNextSheetShareTheWindow()
    {
        QFETCH(bool, dismissErrorFirst);
        m_server->setResponse("/a.rss", HttpFixture::answer(500));
        m_server->setBody("/ok.rss", "ok");
        Response stalled = randomBody(10000);
        stalled.stallAfter = 100;
        m_server->setResponse("/b.rss", stalled);
        m_status->setTransferTimeout(60000);

        const auto then = [this](const char* path, DownloadCompletion next) {
            return [this, path, next](const QVariant&, const QUrl&) {
                m_status->loadData(m_server->url(path), m_window.get(), next);
            };
        };
        m_status->loadData(m_server->url("/a.rss"), m_window.get(),
                           then("/ok.rss", then("/b.rss", recorder())));
        QTRY_COMPARE(m_server->requests().size(), 3);
        QTRY_COMPARE(visibleAlerts().size(), 1);
        QPointer<Alert> alert = visibleAlerts().constFirst();
        DownloadSheet* sheet = m_status->downloadSheet();
        QVERIFY(sheet->isVisible());
        QVERIFY(!alert->frameGeometry().intersects(sheet->frameGeometry()));

        // Each click goes through the window system, which drops clicks on blocked windows.
        if (dismissErrorFirst) {
            clickThroughWindow(alert->buttons().constFirst());
            QTRY_VERIFY(!alert);
            QVERIFY(sheet->isVisible());
        }
        clickThroughWindow(sheet->cancelButton());
        QVERIFY(!sheet->isVisible());
        QVERIFY(!m_status->isLoading());
        if (!dismissErrorFirst) {
            // The error outlives the sheet it rode on, as a sheet of the window.
            QVERIFY(alert && alert->isVisible() && alert->windowModality() == Qt::WindowModal);
            clickThroughWindow(alert->buttons().constFirst());
            QTRY_VERIFY(!alert);
        }
        QVERIFY(m_calls.isEmpty());
    }

private:
    DownloadCompletion recorder()
    {
        return [this](const QVariant& result, const QUrl& asked) {
            m_calls.append({result, asked,
                            !m_status->downloadSheet()->isVisible() && visibleAlerts().isEmpty()});
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

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<DownloadStatus> m_status;
    std::unique_ptr<HttpFixture> m_server;
    QList<Call> m_calls;
    QList<Step> m_steps;
};

QTEST_MAIN(DownloadStatusTest)
#include "DownloadStatusTest.moc"
