#include "tests/support/HttpFixture.h"

#include <QFile>
#include <QHash>
#include <QTcpSocket>
#include <QTimer>

namespace {

// The status line and headers, with a Content-Length or (for a negative length) chunked coding.
// The launcher shows the reason phrase in its messages, so the common ones are the real ones.
QByteArray head(int status, qint64 length, const QList<QByteArray>& headers = {})
{
    static const QHash<int, QByteArray> reasons = {
        {200, "OK"}, {206, "Partial Content"}, {404, "Not Found"}, {503, "Service Unavailable"}};
    const QByteArray framing = length < 0 ? QByteArray("Transfer-Encoding: chunked")
                                          : "Content-Length: " + QByteArray::number(length);
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Status") +
           "\r\nConnection: close\r\n" + (headers + QList{framing}).join("\r\n") + "\r\n\r\n";
}

QByteArray requestHeader(const QByteArray& request, const QByteArray& name)
{
    for (const QByteArray& line : request.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return {};
}

// The byte a Range asks an answer to start at, where an If-Range names the version the answer
// is (its ETag or Last-Modified) or there is none; 0 otherwise.
qint64 rangeStart(const QByteArray& request, const QList<QByteArray>& version)
{
    const QByteArray range = requestHeader(request, "Range");
    const QByteArray ifRange = requestHeader(request, "If-Range");
    if (!range.startsWith("bytes=") || !range.endsWith('-') ||
        (!ifRange.isEmpty() && !version.contains(ifRange)))
        return 0;
    return range.mid(6).chopped(1).toLongLong();
}

QByteArray contentRange(qint64 from, qint64 size)
{
    return "Content-Range: bytes " + QByteArray::number(from) + '-' + QByteArray::number(size - 1) +
           '/' + QByteArray::number(size);
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
        return streamFile(socket, m_folder + path, request.left(end));
    QList<Response>& queued = m_scripts[path];
    Response response = queued.isEmpty()    ? answer(404, "not found")
                        : queued.size() > 1 ? queued.takeFirst()
                                            : queued.first();
    QList<QByteArray> version{response.etag, response.lastModified};
    version.removeAll({});
    if (response.status == 200) {
        if (!response.etag.isEmpty())
            response.headers << "ETag: " + response.etag;
        if (!response.lastModified.isEmpty())
            response.headers << "Last-Modified: " + response.lastModified;
        const qint64 from = response.ignoresRange ? 0 : rangeStart(request, version);
        if (version.contains(requestHeader(request, "If-None-Match")) ||
            version.contains(requestHeader(request, "If-Modified-Since")))
            response.status = 304, response.body.clear();
        else if (from >= response.body.size() && from > 0)
            response.status = 416, response.body.clear();
        else if (from > 0)
            response.status = 206, response.headers << contentRange(from, response.body.size()),
            response.body.remove(0, from);
    }
    socket->write(
        head(response.status, response.chunked ? -1 : response.body.size(), response.headers));
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

void HttpFixture::streamFile(QTcpSocket* socket, const QString& path, const QByteArray& request)
{
    auto* file = new QFile(path, socket);
    file->open(QIODevice::ReadOnly);
    // A file's version is its length: enough for files nobody changes while they are served.
    const QByteArray version = '"' + QByteArray::number(file->size()) + '"';
    const qint64 asked = rangeStart(request, {version}), from = asked < file->size() ? asked : 0;
    QList<QByteArray> headers{"ETag: " + version};
    if (from > 0)
        headers << contentRange(from, file->size());
    file->seek(from);
    socket->write(head(from ? 206 : 200, file->size() - from, headers));
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
