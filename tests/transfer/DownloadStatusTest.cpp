// Transfers against the loopback server, with the real progress sheet and alerts on an
// offscreen window.

#include "transfer/DownloadStatus.h"
#include "platform/Alert.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"
#include "transfer/DownloadSheet.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <optional>

namespace {

// A completion's result and asked URL, and whether neither the progress sheet nor an error
// was on the window as it ran.
using Call = std::tuple<QVariant, QUrl, bool>;

// Big enough to arrive in several pieces.
const QByteArray kBody = QByteArray("0123456789abcdef").repeated(4375);

} // namespace

class DownloadStatusTest : public QObject
{
    Q_OBJECT

    TestHome m_home;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<HttpFixture> m_server;
    std::unique_ptr<DownloadStatus> m_status;
    QList<Call> m_calls;
    // The status line as it changed, with the bar's value and maximum as it last showed it.
    QStringList m_texts;

private slots:
    void init()
    {
        // The old transfer goes before the window it reports to.
        m_status = std::make_unique<DownloadStatus>();
        m_window = std::make_unique<QWidget>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_server = std::make_unique<HttpFixture>();
        HttpFixture::Response response = HttpFixture::answer(200, kBody);
        m_server->setResponse("/ok", response);
        response.dropAfter = 30000; // the whole length announced, a part sent
        m_server->setResponse("/cut", response);
        response.chunked = true; // from here on
        m_server->setResponse("/dropped", response);
        response.dropAfter = -1;
        m_server->setResponse("/chunked", response);
        response.stallAfter = 30000;
        m_server->setResponse("/stalled", response);
        m_server->setResponse("/404", HttpFixture::answer(404, "error page"));
        m_server->setBody("/empty", {});
        m_calls.clear();
        connect(m_status.get(), &DownloadStatus::statusChanged, this, [this](const QString& text) {
            const QProgressBar* bar = m_status->downloadSheet()->progressBar();
            if (!m_texts.isEmpty() && m_texts.last().startsWith(text))
                m_texts.removeLast();
            m_texts.append(QString("%1 %2/%3").arg(text).arg(bar->value()).arg(bar->maximum()));
        });
    }

    void load_data()
    {
        QTest::addColumn<QString>("source"); // a path on the server
        QTest::addColumn<bool>("toFile");
        QTest::addColumn<QString>("message"); // what the error says; "" for success
        QTest::addColumn<QByteArray>("file"); // what dl/a.zip.part holds afterwards
        auto row = [](const char* name, const char* source, bool toFile, const char* message,
                      const QByteArray& file) {
            QTest::newRow(name) << source << toFile << message << file;
        };
        row("content length, memory", "/ok", false, "", "old");
        row("chunked, file", "/chunked", true, "", kBody);
        row("empty, into a file", "/empty", true, "", "none"); // the stale file goes
        row("404 into a file", "/404", true, "answered 404 Not Found", "old");
        row("dropped", "/dropped", true, "closed", kBody.left(30000)); // what was received
        row("shorter than announced", "/cut", true, "announced", kBody.left(30000));
        // Stopped at the first write, rather than when the stalled answer would time out.
        row("disk full", "/stalled", true, "could not be saved to /dev/full", "old");
        // Started over a transfer that times out first: only this one is answered.
        row("stalled, over a stalled load", "/stalled", false, "timed out", "old");
    }

    // The completion of a first memory transfer starts the one under test, which must start its
    // bar from nothing and, going into a file, let go of the bytes the first one kept. One
    // from a stalled server starts while its first transfer, stalled too, still runs.
    void load()
    {
        QFETCH(QString, source);
        QFETCH(bool, toFile);
        QFETCH(QString, message);
        QFETCH(QByteArray, file);
        const QUrl url = m_server->url(source);
        const QString old = m_home.createFile("dl/a.zip.part", "old");
        // A full disk fails the first write.
        const QUrl to = QUrl::fromLocalFile(message.endsWith("/dev/full") ? "/dev/full" : old);
        const auto start = [&](const QVariant&, const QUrl&) {
            m_texts.clear();
            m_status->setTransferTimeout(message == "timed out" ? 1000 : 10000);
            m_status->setRetries(message == "timed out" ? 0 : 3); // not a second a try
            toFile ? m_status->loadFile(url, to, m_window.get(), recorder())
                   : m_status->loadData(url, m_window.get(), recorder());
        };
        m_status->setTransferTimeout(300); // the first times out before the one under test
        m_status->loadData(m_server->url(source == "/stalled" ? source : "/ok"), m_window.get(),
                           start);
        if (source == "/stalled")
            start({}, {});
        QTRY_COMPARE(m_calls.size(), 1);
        QVERIFY(m_server->requests().first().contains("Cache-Control: no-cache")); // never a copy

        const QVariant result = toFile ? QVariant(to) : QVariant(kBody);
        QCOMPARE(m_calls, QList<Call>({{message.isEmpty() ? result : QVariant(), url, true}}));
        // The digest is that of the whole body as sent, never of a part or an error page.
        const std::optional<QByteArray> digest = QCryptographicHash::hash(
            source == "/empty" ? QByteArray() : kBody, QCryptographicHash::Sha1);
        QCOMPARE(m_status->lastDigest(), message.isEmpty() ? digest : std::nullopt);
        QFile written(old);
        QCOMPARE(written.open(QIODevice::ReadOnly) ? written.readAll() : "none", file);
        if (!message.isEmpty()) {
            // The error names what was asked for.
            QTRY_COMPARE(visibleAlerts().size(), 1);
            const Alert* alert = visibleAlerts().constFirst();
            QVERIFY2(alert->messageText().contains(message, Qt::CaseInsensitive),
                     qPrintable(alert->messageText()));
            QCOMPARE(alert->informativeText(), url.toDisplayString());
            return;
        }
        if (source == "/empty")
            return;
        // The bar starts empty and shows the length only when the server announced one; so does
        // the line under it.
        const QString done = source == "/chunked" ? "70 kB 70000/0" : "70 kB of 70 kB 70000/70000";
        QCOMPARE(QStringList(m_texts.first()) + m_texts.mid(m_texts.size() - 2),
                 QStringList({"Connecting... 0/0", done, "Success! " + done.section(' ', -1)}));
    }

    // A server that asks for two seconds' wait: the sheet counts them down, and Cancel stops
    // the transfer there, with no call and no second try.
    void cancelWhileWaitingToRetry()
    {
        HttpFixture::Response busy = HttpFixture::answer(503, "busy");
        busy.headers << "Retry-After: 2";
        m_server->setResponse("/busy", busy);
        m_status->loadFile(m_server->url("/busy"), QUrl::fromLocalFile(m_home.filePath("busy")),
                           m_window.get(), recorder());
        QTRY_COMPARE(m_texts.value(m_texts.size() - 1), "Retrying in 2 s… 0/0");
        QTest::mouseClick(m_status->downloadSheet()->cancelButton(), Qt::LeftButton);
        QTest::qWait(2500);
        QVERIFY(!m_status->isLoading() && m_calls.isEmpty() && m_server->requests().size() == 1);
    }

    // A refresh over several feeds: two 404s, then a good feed, then one still loading. The
    // errors stay visible and answerable over every sheet that follows; the sheet's Cancel
    // makes no call, not even when the transfer would have timed out, and the error still
    // open outlives the sheet it rode on, as a sheet of the window.
    void errorsAndNextSheetShareTheWindow()
    {
        // Clicks through the window system, where a window blocked by a modal one ignores them.
        const auto clickThroughWindow = [](QAbstractButton* button) {
            QWidget* top = button->window();
            QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                              button->mapTo(top, button->rect().center()));
        };
        m_status->setTransferTimeout(1000);
        const auto then = [this](const char* path, DownloadCompletion next) {
            return [this, path, next](const QVariant&, const QUrl&) {
                m_status->loadData(m_server->url(path), m_window.get(), next);
            };
        };
        m_status->loadData(m_server->url("/404"), m_window.get(),
                           then("/404", then("/ok", then("/stalled", recorder()))));
        QTRY_COMPARE(m_server->requests().size(), 4);
        QTRY_COMPARE(visibleAlerts().size(), 2);
        QPointer<Alert> first = visibleAlerts().constFirst(), second = visibleAlerts().constLast();
        DownloadSheet* sheet = m_status->downloadSheet();
        QVERIFY(sheet->isVisible() && !first->frameGeometry().intersects(sheet->frameGeometry()));
        clickThroughWindow(first->buttons().constFirst());
        QTRY_VERIFY(!first);
        clickThroughWindow(sheet->cancelButton());
        QVERIFY(!sheet->isVisible() && !m_status->isLoading());
        QVERIFY(second && second->isVisible() && second->windowModality() == Qt::WindowModal);
        clickThroughWindow(second->buttons().constFirst());
        QTRY_VERIFY(!second);
        QTest::qWait(1500);
        QVERIFY(m_calls.isEmpty() && visibleAlerts().isEmpty());
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
        QList<Alert*> visible = m_window->findChildren<Alert*>();
        visible.removeIf([](const Alert* alert) { return !alert->isVisible(); });
        return visible;
    }
};

QTEST_MAIN(DownloadStatusTest)
#include "DownloadStatusTest.moc"
