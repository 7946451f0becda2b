#include "tests/support/HttpFixture.h"

#include <QFile>
#include <QHash>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// The status line and headers. The launcher shows the reason phrase in its messages, so the
// common ones are the real ones.
QByteArray head(int status, const QByteArray& headers)
{
    static const QHash<int, QByteArray> reasons = {
        {200, "OK"}, {302, "Found"}, {404, "Not Found"}, {500, "Internal Server Error"}};
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Status") +
           "\r\nConnection: close\r\n" + headers + "\r\n";
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
    play(socket, m_scripts.value(path, answer(404, "not found")));
}

void HttpFixture::streamFile(QTcpSocket* socket, const QString& path)
{
    auto* file = new QFile(path, socket);
    file->open(QIODevice::ReadOnly);
    socket->write(head(200, "Content-Length: " + QByteArray::number(file->size()) + "\r\n"));
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
    connect(socket, &QTcpSocket::bytesWritten, file, refill);
    refill();
}

void HttpFixture::play(QTcpSocket* socket, const Response& response)
{
    QByteArray headers;
    for (const auto& [name, value] : response.headers)
        headers += name + ": " + value + "\r\n";
    if (response.framing == Response::Length)
        headers += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    else if (response.framing == Response::Chunked)
        headers += "Transfer-Encoding: chunked\r\n";
    socket->write(head(response.status, headers));
    qint64 limit = response.body.size();
    for (qint64 stop : {response.stallAfter, response.dropAfter})
        limit = stop >= 0 ? qMin(limit, stop) : limit;
    // Sends the next piece of the body; false once nothing more is due.
    auto* pacer = new QTimer(socket);
    const auto sendPiece = [=, sent = std::make_shared<qint64>(0)] {
        const qint64 size = response.pieceSize > 0 ? response.pieceSize : limit;
        const QByteArray piece = response.body.mid(*sent, qMin(size, limit - *sent));
        *sent += piece.size();
        if (response.framing == Response::Chunked && !piece.isEmpty())
            socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        else
            socket->write(piece);
        if (*sent < limit)
            return true;
        pacer->stop();
        const bool complete = *sent == response.body.size();
        if (complete && response.framing == Response::Chunked)
            socket->write("0\r\n\r\n");
        if (complete || *sent == response.dropAfter)
            socket->disconnectFromHost();
        return false;
    };
    connect(pacer, &QTimer::timeout, socket, sendPiece);
    if (response.pieceDelayMs > 0)
        pacer->start(response.pieceDelayMs);
    else
        while (sendPiece()) {
        }
}

QUrl HttpFixture::refusedUrl()
{
    // A port that was just free is very unlikely to be taken again within the test.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/refused").arg(probe.serverPort()));
}
