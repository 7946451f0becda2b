#include "tests/support/HttpFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Bytes kept queued in a socket while streaming a file: enough to keep the loopback busy,
// little enough that a 256 MB file never sits in memory.
constexpr qint64 kQueueLimit = 1 << 20;
constexpr qint64 kFileBlock = 256 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

// One accepted connection: reads a request head, then plays one answer and closes.
class HttpFixture::Connection : public QObject
{
public:
    Connection(HttpFixture* server, QTcpSocket* socket) : QObject(server), m_server(server)
    {
        m_socket = socket;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequest);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::streamFile);
        connect(&m_pacer, &QTimer::timeout, this, &Connection::sendPiece);
    }

private:
    void readRequest()
    {
        if (m_answered)
            return (void)m_socket->readAll();
        m_head += m_socket->readAll();
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_answered = true;
        const QList<QByteArray> lines = m_head.left(end).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = requestLine.value(0);
        request.path = QString::fromLatin1(requestLine.value(1));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        m_server->m_requests.append(request);
        answer(request.path);
    }

    void answer(const QString& target)
    {
        const QString path = QUrl(target).path();
        auto scripted = m_server->m_responses.constFind(target);
        if (scripted == m_server->m_responses.cend())
            scripted = m_server->m_responses.constFind(path);
        if (scripted != m_server->m_responses.cend())
            return play(*scripted);
        if (!m_server->m_folder.isEmpty()) {
            const QString file = m_server->m_folder + QLatin1Char('/') + path.mid(1);
            if (!path.contains(QLatin1String("..")) && QFileInfo(file).isFile())
                return serveFile(file);
        }
        Response missing;
        missing.status = 404;
        missing.body = "not found";
        play(missing);
    }

    void play(const Response& response)
    {
        m_response = response;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                          reasonPhrase(response.status) + "\r\nConnection: close\r\n";
        for (const auto& [name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        if (response.framing == Response::Length)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        else if (response.framing == Response::Chunked)
            head += "Transfer-Encoding: chunked\r\n";
        m_socket->write(head + "\r\n");
        m_limit = response.body.size();
        if (response.stallAfter >= 0)
            m_limit = qMin(m_limit, response.stallAfter);
        if (response.dropAfter >= 0)
            m_limit = qMin(m_limit, response.dropAfter);
        if (response.pieceSize > 0 && response.pieceDelayMs > 0)
            m_pacer.start(response.pieceDelayMs);
        else
            while (sendPiece()) {
            }
    }

    // Sends the next piece of the scripted body; false once nothing more is due.
    bool sendPiece()
    {
        const qint64 size = m_response.pieceSize > 0 ? m_response.pieceSize : m_limit;
        const QByteArray piece = m_response.body.mid(m_sent, qMin(size, m_limit - m_sent));
        m_sent += piece.size();
        if (!piece.isEmpty()) {
            if (m_response.framing == Response::Chunked)
                m_socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
            else
                m_socket->write(piece);
        }
        if (m_sent < m_limit)
            return true;
        m_pacer.stop();
        if (m_sent == m_response.body.size()) {
            if (m_response.framing == Response::Chunked)
                m_socket->write("0\r\n\r\n");
            m_socket->disconnectFromHost();
        } else if (m_sent == m_response.dropAfter) {
            m_socket->disconnectFromHost();
        }
        return false;
    }

    void serveFile(const QString& path)
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly))
            return m_socket->abort();
        m_socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                        QByteArray::number(m_file.size()) + "\r\n\r\n");
        streamFile();
    }

    void streamFile()
    {
        if (!m_file.isOpen())
            return;
        while (m_socket->bytesToWrite() < kQueueLimit) {
            const QByteArray block = m_file.read(kFileBlock);
            if (block.isEmpty()) {
                m_file.close();
                m_socket->disconnectFromHost();
                return;
            }
            m_socket->write(block);
        }
    }

    HttpFixture* m_server;
    QTcpSocket* m_socket;
    QByteArray m_head;
    bool m_answered = false;
    Response m_response;
    qint64 m_sent = 0;
    qint64 m_limit = 0;
    QTimer m_pacer;
    QFile m_file;
};

HttpFixture::HttpFixture(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpFixture::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

HttpFixture::~HttpFixture() = default;

QUrl HttpFixture::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void HttpFixture::setResponse(const QString& path, const Response& response)
{
    m_responses.insert(path, response);
}

HttpFixture::Response HttpFixture::answer(int status, const QByteArray& body)
{
    Response response;
    response.status = status;
    response.body = body;
    return response;
}

void HttpFixture::setBody(const QString& path, const QByteArray& body)
{
    setResponse(path, answer(200, body));
}

void HttpFixture::setRedirect(const QString& path, const QString& location, int status)
{
    Response response;
    response.status = status;
    response.headers.append({"Location", location.toUtf8()});
    response.body = "moved";
    setResponse(path, response);
}

QUrl HttpFixture::refusedUrl()
{
    // A port that was just free is very unlikely to be taken again within the test.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/refused").arg(port));
}

void HttpFixture::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new Connection(this, socket);
}
