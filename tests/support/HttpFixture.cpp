#include "tests/support/HttpFixture.h"

#include <QFile>
#include <QHash>
#include <QTcpSocket>
#include <QTimer>

namespace {

// The status line and headers, with a Content-Length or (for a negative length) chunked coding.
// The launcher shows the reason phrase in its messages, so the common ones are the real ones.
QByteArray head(int status, qint64 length)
{
    static const QHash<int, QByteArray> reasons = {{200, "OK"}, {404, "Not Found"}};
    const QByteArray framing = length < 0 ? QByteArray("Transfer-Encoding: chunked")
                                          : "Content-Length: " + QByteArray::number(length);
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Status") +
           "\r\nConnection: close\r\n" + framing + "\r\n\r\n";
}

} // namespace

HttpFixture::HttpFixture(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        }
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

void HttpFixture::readRequest(QTcpSocket* socket)
{
    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0 || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    m_requests.append(request.left(end));
    const QString path = QUrl(QString::fromLatin1(request.split(' ').value(1))).path();
    if (!m_scripts.contains(path) && !m_folder.isEmpty() && !path.contains(QLatin1String("..")) &&
        QFile::exists(m_folder + path))
        return streamFile(socket, m_folder + path);
    const Response response = m_scripts.value(path, answer(404, "not found"));
    socket->write(head(response.status, response.chunked ? -1 : response.body.size()));
    qint64 sent = response.body.size();
    for (qint64 stop : {response.stallAfter, response.dropAfter})
        sent = stop >= 0 ? qMin(sent, stop) : sent;
    const bool complete = sent == response.body.size();
    QByteArray body = response.body.left(sent);
    if (response.chunked && !body.isEmpty())
        body = QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n";
    if (response.chunked && complete)
        body += "0\r\n\r\n";
    socket->write(body);
    // A stalled answer keeps the connection open with nothing more to say.
    if (complete || sent == response.dropAfter)
        socket->disconnectFromHost();
}

void HttpFixture::streamFile(QTcpSocket* socket, const QString& path)
{
    auto* file = new QFile(path, socket);
    file->open(QIODevice::ReadOnly);
    socket->write(head(200, file->size()));
    // A megabyte queued at a time keeps the loopback busy without a big file in memory.
    const auto refill = [socket, file] {
        while (file->isOpen() && socket->bytesToWrite() < (1 << 20)) {
            const QByteArray block = file->read(256 * 1024);
            socket->write(block);
            if (block.isEmpty()) {
                file->close();
                socket->disconnectFromHost();
            }
        }
    };
    if (m_pace <= 0) {
        connect(socket, &QTcpSocket::bytesWritten, file, refill);
        refill();
        return;
    }
    // Paced: a hundredth of a second's worth every hundredth of a second.
    auto* clock = new QTimer(file);
    connect(clock, &QTimer::timeout, file, [socket, file, clock, share = m_pace / 100] {
        const QByteArray block = file->read(share);
        socket->write(block);
        if (block.size() < share) {
            clock->stop();
            file->close();
            socket->disconnectFromHost();
        }
    });
    clock->setTimerType(Qt::PreciseTimer);
    clock->start(10);
}

QUrl HttpFixture::refusedUrl()
{
    // A port that was just free is very unlikely to be taken again within the test.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/refused").arg(probe.serverPort()));
}
