// The transfer on its own, without a window or a widget library, against the loopback server
// and the local disk.

#include "transfer/Transfer.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"
#include "transfer/ResumeState.h"
#include "transfer/TransferProgress.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray kBody = QByteArray("0123456789abcdef").repeated(4375);

} // namespace

class TransferTest : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data()
    {
        // A path on the server, or "file" for a file URL. The stalled answer is cancelled at its
        // first bytes; past the transfer timeout too, the abort is never taken for one.
        QTest::addColumn<QString>("source");
        QTest::newRow("chunked") << "/chunked";
        QTest::newRow("file URL") << "file";
        QTest::newRow("cancelled") << "/stalled";
    }
    // Every start ends in one finished(), and only a whole body has a digest: the SHA-1 of the
    // bytes as they were sent. The length progress() tells is the one announced.
    void outcome()
    {
        QFETCH(QString, source);
        const bool cancel = source == "/stalled";
        // Many times the piece a transfer reads in one turn, the last piece short.
        const QByteArray body = kBody.repeated(20) + "tail";
        TestHome home;
        HttpFixture server;
        HttpFixture::Response response = HttpFixture::answer(200, body);
        response.chunked = source == "/chunked";
        response.stallAfter = cancel ? 30000 : -1;
        server.setResponse(source, response);
        const QUrl url = source == "file" ? QUrl::fromLocalFile(home.createFile("sent", body))
                                          : server.url(source);
        QNetworkAccessManager manager;
        Transfer transfer(&manager);
        transfer.setTransferTimeout(500);
        QList<Transfer::Outcome> ends;
        qint64 told = 0;
        connect(&transfer, &Transfer::finished, this, [&] { ends.append(transfer.outcome()); });
        connect(&transfer, &Transfer::progress, this, [&](qint64, qint64 announced) {
            told = announced;
            if (cancel)
                transfer.cancel();
        });
        const QString file = home.filePath("received");
        transfer.start(url, file);
        QTRY_VERIFY(!ends.isEmpty());
        QTest::qWait(cancel ? 1000 : 0);
        QCOMPARE(ends, QList{cancel ? Transfer::Outcome::Cancelled : Transfer::Outcome::Succeeded});
        QCOMPARE(told, source == "/chunked" ? -1 : body.size());
        QVERIFY(!transfer.isRunning() && transfer.errorString().isEmpty());
        QCOMPARE(transfer.sha1(),
                 cancel ? QByteArray() : QCryptographicHash::hash(body, QCryptographicHash::Sha1));
        // A cancelled transfer leaves what it wrote, for the caller to keep or remove.
        QFile received(file);
        QVERIFY(received.open(QIODevice::ReadOnly));
        const QByteArray written = received.readAll();
        QVERIFY(!cancel ? written == body : !written.isEmpty() && body.startsWith(written));
    }

    // Version "v1" breaks off at 60%, keeping its part; the next start asks for the rest, and
    // gets it (206), or the whole as the server ignores ranges or has a "v2" (200), or once a
    // "v1" now too short answers 416. The file and its digest are always the whole body's.
    void resume_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<qint64>("resumedFrom");
        QTest::addColumn<int>("requests");
        QTest::newRow("sends the rest") << "rest" << qint64(42000) << 2;
        QTest::newRow("ignores the range") << "ignores range" << qint64(0) << 2;
        QTest::newRow("new version") << "v2" << qint64(0) << 2;
        QTest::newRow("range past the end") << "shorter" << qint64(0) << 3;
    }
    void resume()
    {
        QFETCH(QString, server);
        QFETCH(qint64, resumedFrom);
        QFETCH(int, requests);
        TestHome home;
        HttpFixture http;
        HttpFixture::Response cut = HttpFixture::answer(200, kBody), then = cut;
        cut.etag = then.etag = "\"v1\"";
        cut.dropAfter = kBody.size() * 6 / 10;
        then.ignoresRange = server == "ignores range";
        if (server == "v2")
            then.body = kBody.toUpper(), then.etag = "\"v2\"";
        if (server == "shorter")
            then.body = kBody.left(1000);
        http.setResponses("/level.zip", {cut, then});
        QNetworkAccessManager manager;
        Transfer transfer(&manager);
        transfer.setResumable(true);
        const QString file = home.filePath("level.zip.download");
        QSignalSpy finished(&transfer, &Transfer::finished);
        for (int start = 0; start < 2; ++start) {
            transfer.start(http.url("/level.zip"), file);
            QVERIFY(finished.wait(5000));
            QCOMPARE(transfer.outcome(),
                     start ? Transfer::Outcome::Succeeded : Transfer::Outcome::Failed);
            QCOMPARE(QFileInfo::exists(ResumeState::pathFor(file)), start == 0);
        }
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly) && written.readAll() == then.body);
        QCOMPARE(transfer.sha1(), QCryptographicHash::hash(then.body, QCryptographicHash::Sha1));
        QCOMPARE(transfer.resumedFrom(), resumedFrom);
        QCOMPARE(http.requests().size(), requests);
        const QByteArray second = http.requests().at(1);
        QVERIFY(second.contains("Range: bytes=42000-") && second.contains("If-Range: \"v1\""));
    }

    // Transient failures are tried again, three times at most; others are not.
    void retry_data()
    {
        QTest::addColumn<QList<int>>("statuses"); // one answer each, the last one repeating
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("succeeded");
        QTest::newRow("two 503s") << QList{503, 503, 200} << 3 << true;
        QTest::newRow("404") << QList{404, 200} << 1 << false;
        QTest::newRow("500 four times") << QList{500} << 4 << false;
    }
    void retry()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(int, requests);
        QFETCH(bool, succeeded);
        HttpFixture http;
        QList<HttpFixture::Response> answers;
        for (int status : statuses)
            answers << HttpFixture::answer(status, status == 200 ? kBody : "error page");
        http.setResponses("/feed", answers);
        QNetworkAccessManager manager;
        Transfer transfer(&manager);
        transfer.setRetries(3);
        transfer.setRetryDelay(10);
        QSignalSpy finished(&transfer, &Transfer::finished);
        transfer.start(http.url("/feed"));
        QVERIFY(finished.wait(5000));
        QCOMPARE(http.requests().size(), requests);
        QCOMPARE(transfer.outcome() == Transfer::Outcome::Succeeded, succeeded);
        QCOMPARE(transfer.data(), succeeded ? kBody : QByteArray());
    }

    // With http_proxy set, a fetch goes through the proxy, asking it for the absolute URL. (Qt
    // never sends loopback addresses through a proxy, so the host is one only the proxy knows.)
    void proxy()
    {
        HttpFixture proxy;
        proxy.setBody("/feed.txt", kBody);
        qputenv("http_proxy", proxy.url({}).toEncoded());
        QNetworkAccessManager manager;
        Transfer transfer(&manager);
        QSignalSpy finished(&transfer, &Transfer::finished);
        transfer.start(QUrl("http://levels.invalid/feed.txt"));
        const bool ended = finished.wait(5000);
        qunsetenv("http_proxy");
        QVERIFY(ended && transfer.data() == kBody);
        QVERIFY(proxy.requests().value(0).startsWith("GET http://levels.invalid/feed.txt "));
    }

    // 12.4 MB done at 3.1 MB/s; the words are English here, as no catalogue is loaded.
    void progressText_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<qint64>("total"); // -1 for unknown
        QTest::addColumn<QString>("text");
        const QLocale en(QLocale::English), de(QLocale::German);
        QTest::newRow("known") << en << qint64(48e6)
                               << "12.4 MB of 48 MB, 3.1 MB/s, about 12 s left";
        QTest::newRow("German") << de << qint64(48e6)
                                << "12,4 MB of 48 MB, 3,1 MB/s, about 12 s left";
        QTest::newRow("unknown length") << en << qint64(-1) << "12.4 MB, 3.1 MB/s";
    }
    void progressText()
    {
        QFETCH(QLocale, locale);
        QFETCH(qint64, total);
        QFETCH(QString, text);
        QCOMPARE(progressDetail(12'400'000, total, 3.1e6, locale), text);
    }
};

QTEST_GUILESS_MAIN(TransferTest)
#include "TransferTest.moc"
