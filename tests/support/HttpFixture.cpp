#include "tests/support/HttpFixture.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Bytes kept queued in a socket while streaming a file: enough to keep the loopback busy,
// little enough that a 256 MB file never sits in memory.
constexpr qint64 kQueueLimit = 1 << 20;

QByteArray head(int status, const QByteArray& headers)
{
    static const QHash<int, QByteArray> reasons = {
        {200, "OK"},        {301, "Moved Permanently"},    {302, "Found"},
        {303, "See Other"}, {307, "Temporary Redirect"},   {308, "Permanent Redirect"},
        {404, "Not Found"}, {500, "Internal Server Error"}};
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Status") +
           "\r\nConnection: close\r\n" + headers + "\r\n";
}

} // namespace

// One accepted connection: reads a request head, plays one answer, then closes.
class HttpFixture::Connection : public QObject
{
public:
    Connection(HttpFixture* server, QTcpSocket* socket)
        : QObject(server), m_server(server), m_socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequest);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::streamFile);
        connect(&m_pacer, &QTimer::timeout, this, &Connection::sendPiece);
    }

private:
    void readRequest()
    {
        m_head += m_socket->readAll();
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (m_answered || end < 0)
            return;
        m_answered = true;
        m_head.truncate(end);
        m_server->m_requests.append(m_head);
        const QString path = QUrl(QString::fromLatin1(m_head.split(' ').value(1))).path();
        if (m_server->m_scripts.contains(path))
            return play(m_server->m_scripts.value(path));
        m_file.setFileName(m_server->m_folder + path);
        if (m_server->m_folder.isEmpty() || path.contains(QLatin1String("..")) ||
            !m_file.open(QIODevice::ReadOnly))
            return play(answer(404, "not found"));
        m_socket->write(head(200, "Content-Length: " + QByteArray::number(m_file.size()) + "\r\n"));
        streamFile();
    }

    void play(const Response& response)
    {
        m_response = response;
        QByteArray headers;
        for (const auto& [name, value] : response.headers)
            headers += name + ": " + value + "\r\n";
        if (response.framing == Response::Length)
            headers += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        else if (response.framing == Response::Chunked)
            headers += "Transfer-Encoding: chunked\r\n";
        m_socket->write(head(response.status, headers));
        m_limit = response.body.size();
        for (qint64 stop : {response.stallAfter, response.dropAfter})
            if (stop >= 0)
                m_limit = qMin(m_limit, stop);
        if (response.pieceDelayMs > 0)
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
        if (m_response.framing == Response::Chunked && !piece.isEmpty())
            m_socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        else
            m_socket->write(piece);
        if (m_sent < m_limit)
            return true;
        m_pacer.stop();
        const bool complete = m_sent == m_response.body.size();
        if (complete && m_response.framing == Response::Chunked)
            m_socket->write("0\r\n\r\n");
        if (complete || m_sent == m_response.dropAfter)
            m_socket->disconnectFromHost();
        return false;
    }

    void streamFile()
    {
        while (m_file.isOpen() && m_socket->bytesToWrite() < kQueueLimit) {
            const QByteArray block = m_file.read(256 * 1024);
            m_socket->write(block);
            if (block.isEmpty()) {
                m_file.close();
                m_socket->disconnectFromHost();
            }
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
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            new Connection(this, socket);
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

void HttpFixture::setRedirect(const QString& path, const QString& location, int status)
{
    Response response = answer(status, "moved");
    response.headers.append({"Location", location.toUtf8()});
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
