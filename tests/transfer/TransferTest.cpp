// The transfer on its own, without a window or a widget library, against the loopback server
// and the local disk.

#include "transfer/Transfer.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
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
        TestHome home;
        HttpFixture server;
        HttpFixture::Response response = HttpFixture::answer(200, kBody);
        response.chunked = source == "/chunked";
        response.stallAfter = cancel ? 30000 : -1;
        server.setResponse(source, response);
        const QUrl url = source == "file" ? QUrl::fromLocalFile(home.createFile("sent", kBody))
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
        QCOMPARE(told, source == "/chunked" ? -1 : kBody.size());
        QVERIFY(!transfer.isRunning() && transfer.errorString().isEmpty());
        QCOMPARE(transfer.sha1(),
                 cancel ? QByteArray() : QCryptographicHash::hash(kBody, QCryptographicHash::Sha1));
        // A cancelled transfer leaves what it wrote, for the caller to keep or remove.
        QFile received(file);
        QVERIFY(received.open(QIODevice::ReadOnly));
        const QByteArray written = received.readAll();
        QVERIFY(!cancel ? written == kBody : !written.isEmpty() && kBody.startsWith(written));
    }
};

QTEST_GUILESS_MAIN(TransferTest)
#include "TransferTest.moc"
