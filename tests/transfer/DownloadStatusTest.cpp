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

// A completion's result and asked URL, and whether neither the progress sheet nor an error
// was on the window as it ran.
using Call = std::tuple<QVariant, QUrl, bool>;
// The sheet's status text, bar value and bar maximum whenever the status line changed.
using Step = std::tuple<QString, int, int>;

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
        Response body = randomBody(100000);
        m_server->setResponse("/ok", body);
        body.dropAfter = 30000;
        m_server->setResponse("/dropped", body);
        body.dropAfter = -1;
        body.stallAfter = 30000;
        m_server->setResponse("/stalled", body);
        m_server->setResponse("/404", HttpFixture::answer(404, "error page"));
        m_server->setResponse("/500", HttpFixture::answer(500, "error page"));
        m_server->setRedirect("/moved", m_server->url("/a.zip").toString());
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

    // source: a path on the server, "refused", "missing", or "file" for a file URL; message:
    // what the error says, "" for success; file: what the destination holds afterwards.
    void load_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("toFile");
        QTest::addColumn<int>("framing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("file");
        auto row = [](const char* name, const char* source, bool toFile, const char* message,
                      const char* file, Response::Framing framing = Response::Length) {
            QTest::newRow(name) << source << toFile << int(framing) << message << file;
        };
        row("content length, memory", "/a.zip", false, "", "old");
        row("chunked, redirected, file", "/moved", true, "", "body", Response::Chunked);
        row("until close, memory", "/a.zip", false, "", "old", Response::UntilClose);
        row("file url into a file", "file", true, "", "body");
        row("empty, into a file", "/empty", true, "", "none"); // the stale file goes
        row("404 into memory", "/404", false, "404", "old");
        row("500 into a file", "/500", true, "500", "old");
        row("refused", "refused", false, "refused", "old");
        row("dropped", "/dropped", false, "closed", "old");
        row("stalled", "/stalled", false, "timed out", "old");
        row("missing local file", "missing", false, "missing", "old");
        row("unwritable file", "/a.zip", true, "no folder", "none");
        row("disk full", "/a.zip", true, "could not be saved", "64 KiB"); // what was written
    }

    // The completion of a first memory transfer starts the one under test, which must start
    // its bar from nothing and, going into a file, let go of the bytes the first one kept.
    void load()
    {
        QFETCH(QString, source);
        QFETCH(bool, toFile);
        QFETCH(int, framing);
        QFETCH(QString, message);
        QFETCH(QString, file);
        // In small pieces, which a buffered file would hold back from a full disk.
        Response response = randomBody(300000);
        response.framing = Response::Framing(framing);
        response.pieceSize = 1024;
        response.pieceDelayMs = 1;
        m_server->setResponse("/a.zip", response);
        m_server->setBody("/empty", {});
        m_status->setTransferTimeout(source == "/stalled" ? 300 : 2000);
        // A file size limit fails writes past 64 KiB as a full disk would.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (message == "could not be saved") {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit small{65536, saved.rlim_max};
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const QUrl url = source == "refused"   ? HttpFixture::refusedUrl()
                         : source == "missing" ? QUrl::fromLocalFile(m_home->filePath("missing"))
                         : source == "file"
                             ? QUrl::fromLocalFile(m_home->createFile("a.zip", response.body))
                             : m_server->url(source);
        const QUrl target = QUrl::fromLocalFile(m_home->createFile("dl/a.zip.part", "old"));
        const QUrl to = message == "no folder"
                            ? QUrl::fromLocalFile(m_home->filePath("no folder/a.part"))
                            : target;
        m_status->loadData(m_server->url("/ok"), m_window.get(), [&](const QVariant&, const QUrl&) {
            m_steps.clear();
            if (toFile)
                m_status->loadFile(url, to, m_window.get(), recorder());
            else
                m_status->loadData(url, m_window.get(), recorder());
            const DownloadSheet* sheet = m_status->downloadSheet();
            QVERIFY(sheet->isVisible() && sheet->windowModality() == Qt::WindowModal &&
                    sheet->parentWidget() == m_window.get());
        });
        QTRY_COMPARE(m_calls.size(), 1);
        setrlimit(RLIMIT_FSIZE, &saved);

        const QVariant result = toFile ? QVariant(to) : QVariant(response.body);
        QCOMPARE(m_calls, QList<Call>({{message.isEmpty() ? result : QVariant(), url, true}}));
        QFile written(to.toLocalFile());
        const QMap<QString, QByteArray> files{{"old", "old"},
                                              {"none", "none"},
                                              {"body", response.body},
                                              {"64 KiB", response.body.left(65536)}};
        QCOMPARE(written.open(QIODevice::ReadOnly) ? written.readAll() : "none", files[file]);
        QCOMPARE(m_status->data().has_value(), !toFile);
        if (!message.isEmpty()) {
            // An error page is no part of the result; the error names what was asked for.
            QVERIFY(!m_status->data().value_or(QByteArray()).contains("error page"));
            QTRY_COMPARE(visibleAlerts().size(), 1);
            const Alert* alert = visibleAlerts().constFirst();
            QVERIFY2(alert->messageText().contains(message, Qt::CaseInsensitive),
                     qPrintable(alert->messageText()));
            QCOMPARE(alert->informativeText(), url.toDisplayString());
            return;
        }
        QStringList texts;
        for (const auto& [text, value, maximum] : m_steps)
            if (texts.isEmpty() || texts.last() != text)
                texts.append(text);
        QStringList expected{"Connecting...", "Received Response...", "Receiving Data...",
                             "Success!"};
        if (file == "none")
            expected.removeAt(2); // an empty body brings nothing to receive
        QCOMPARE(texts, expected);
        QCOMPARE(m_steps.first(), Step("Connecting...", 0, 0));
        // The bar shows the length only when the server announced one.
        const int size = file == "none" ? 0 : response.body.size();
        for (const auto& [text, value, maximum] : m_steps.mid(2))
            QCOMPARE(maximum, framing == Response::Length ? size : 0);
        QCOMPARE(std::get<1>(m_steps.last()), size);
        // Cached copies never answer for the server.
        QVERIFY(m_server->requests().first().contains("Cache-Control: no-cache"));
    }

    void cancelMakesNoCall()
    {
        Response slow = randomBody(60000); // for about a second
        slow.pieceSize = 1024;
        slow.pieceDelayMs = 15;
        m_server->setResponse("/slow", slow);
        m_status->setTransferTimeout(500);
        // A load over a running one cancels it: only the second is answered, in full, though
        // the first would have timed out meanwhile.
        m_status->loadData(m_server->url("/stalled"), m_window.get(), recorder());
        m_status->loadData(m_server->url("/slow"), m_window.get(), recorder());
        QTRY_COMPARE(m_calls.size(), 1);
        QCOMPARE(m_calls, QList<Call>({{slow.body, m_server->url("/slow"), true}}));
        m_calls.clear();
        m_status->loadData(m_server->url("/stalled"), m_window.get(), recorder());
        QTRY_COMPARE(std::get<0>(m_steps.last()), QString("Receiving Data..."));
        DownloadSheet* sheet = m_status->downloadSheet();
        clickThroughWindow(sheet->cancelButton());
        QVERIFY(!sheet->isVisible());
        // Long enough for the stalled transfers to have timed out, had it not been cancelled.
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
        m_status->setTransferTimeout(60000);

        const auto then = [this](const char* path, DownloadCompletion next) {
            return [this, path, next](const QVariant&, const QUrl&) {
                m_status->loadData(m_server->url(path), m_window.get(), next);
            };
        };
        m_status->loadData(m_server->url("/500"), m_window.get(),
                           then("/ok", then("/stalled", recorder())));
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
