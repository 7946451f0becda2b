#pragma once

// A loopback HTTP/1.1 server for tests and benchmarks, on 127.0.0.1 and a port of the
// system's choosing. Each scripted path answers with its Response (status, body, how the body
// is framed, where it stalls or breaks off, its version); serveDirectory() answers the other
// paths from the files of a folder, streamed from disk. Both take ranges (206, 416) and
// conditions (304). Every connection gets one answer and is then closed, so a test never
// depends on connection reuse. A proxy's request (an absolute URL) is answered by its path.

#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

class HttpFixture : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        // Chunked coding instead of a Content-Length header.
        bool chunked = false;
        // After this many body bytes the server falls silent and keeps the connection open
        // (stall) or closes it (drop); -1 for never.
        qint64 stallAfter = -1, dropAfter = -1;
        // Header lines sent as they are, such as "Retry-After: 2".
        QList<QByteArray> headers = {};
        // The version the body is, sent as ETag and Last-Modified where set; a 200 answers
        // requests for another version's range in full, or all of them with ignoresRange.
        QByteArray etag = {}, lastModified = {};
        bool ignoresRange = false;
    };

    explicit HttpFixture(QObject* parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
    }

    // A plain answer with a Content-Length, such as an error page.
    static Response answer(int status, const QByteArray& body = {}) { return {status, body}; }
    void setResponse(const QString& path, const Response& reply) { m_scripts[path] = {reply}; }
    // Answers one request each, in turn; the last one answers every request after them.
    void setResponses(const QString& path, const QList<Response>& responses)
    {
        m_scripts[path] = responses;
    }
    void setBody(const QString& path, const QByteArray& body)
    {
        m_scripts[path] = {answer(200, body)};
    }
    // Files of the folder are served at up to bytesPerSecond where it is positive, as over a
    // link of that speed; at loopback speed otherwise.
    void serveDirectory(const QString& folder, qint64 bytesPerSecond = 0)
    {
        m_folder = folder;
        m_pace = bytesPerSecond;
    }

    // The head of each request received so far, as sent.
    const QList<QByteArray>& requests() const { return m_requests; }
    // A URL on 127.0.0.1 whose port nobody listens on, for refused connections.
    static QUrl refusedUrl();

private:
    void readRequest(QTcpSocket* socket);
    void streamFile(QTcpSocket* socket, const QString& path, const QByteArray& request);

    QTcpServer m_server;
    QHash<QString, QList<Response>> m_scripts;
    QString m_folder;
    qint64 m_pace = 0;
    QList<QByteArray> m_requests;
};
