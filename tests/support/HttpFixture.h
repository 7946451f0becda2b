#pragma once

// A loopback HTTP/1.1 server for tests and benchmarks, on 127.0.0.1 and a port of the
// system's choosing. Each path answers with a scripted Response (status, headers, body, how
// the body is framed and paced, where it stalls or breaks off); static mode serves the files
// of a folder, streamed from disk. Every connection gets one answer and is then closed, so
// a test never depends on connection reuse.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

class HttpFixture : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Framing: a Content-Length header, chunked transfer coding, or neither (the body
        // then ends when the connection closes).
        enum Framing
        {
            Length,
            Chunked,
            UntilClose
        } framing = Length;
        // Pacing: the body goes out in pieces of pieceSize bytes, pieceDelayMs apart;
        // 0 sends it at once.
        int pieceSize = 0;
        int pieceDelayMs = 0;
        // After this many body bytes the server falls silent but keeps the connection
        // open (stall) or closes it (drop); -1 for never.
        qint64 stallAfter = -1;
        qint64 dropAfter = -1;
    };

    struct Request
    {
        QByteArray method;
        QString path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };

    explicit HttpFixture(QObject* parent = nullptr);
    ~HttpFixture() override;

    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const;

    // A plain answer with a Content-Length, such as an error page.
    static Response answer(int status, const QByteArray& body = {});
    void setResponse(const QString& path, const Response& response);
    // Shorthand for setResponse(path, answer(200, body)).
    void setBody(const QString& path, const QByteArray& body);
    void setRedirect(const QString& path, const QString& location, int status = 302);
    // Answers every path without a script from the files of the folder (404 when missing).
    void serveDirectory(const QString& folder) { m_folder = folder; }

    const QList<Request>& requests() const { return m_requests; }

    // A URL on 127.0.0.1 whose port nobody listens on, for refused connections.
    static QUrl refusedUrl();

private:
    class Connection;
    void accept();

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QString m_folder;
    QList<Request> m_requests;
};
