#include "transfer/Transfer.h"

#include "platform/Localization.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

// Largest piece handed on at once; a file:// reply offers the whole file as available.
constexpr qint64 kReadChunk = 1 << 20;
// What the network thread may buffer ahead of us, so a slow disk never lets a large
// transfer pile up in memory.
constexpr qint64 kReadBuffer = 4 << 20;
constexpr qsizetype kInitialCapacity = 65536;

} // namespace

Transfer::Transfer(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent), m_manager(manager)
{
}

Transfer::~Transfer()
{
    if (QNetworkReply* reply = std::exchange(m_reply, nullptr)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void Transfer::start(const QUrl& url, const QString& filePath)
{
    cancel();
    m_url = url;
    m_filePath = filePath;
    m_file.reset(filePath.isEmpty() ? nullptr : new QFile(filePath));
    m_fileOpened = false;
    m_data = QByteArray();
    if (filePath.isEmpty())
        m_data.reserve(kInitialCapacity);
    m_digest.reset();
    m_sha1.clear();
    m_httpStatus = 0;
    m_expected = -1;
    m_received = 0;
    m_writeError.clear();
    m_outcome = Outcome::Unfinished;
    m_errorString.clear();

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_transferTimeout);
    m_reply = m_manager->get(request);
    m_reply->setReadBufferSize(kReadBuffer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Transfer::readHead);
    connect(m_reply, &QNetworkReply::readyRead, this, &Transfer::readBody);
    connect(m_reply, &QNetworkReply::finished, this, &Transfer::replyFinished);
}

void Transfer::cancel()
{
    if (!m_reply)
        return;
    abortReply();
    finish(Outcome::Cancelled);
}

void Transfer::abortReply()
{
    // Detached first: abort() reports OperationCanceledError just like a timeout, and only a
    // timeout may end as a failure.
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void Transfer::readHead()
{
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    m_httpStatus = status.isValid() ? status.toInt() : 0;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray coding = m_reply->rawHeader("Content-Encoding").trimmed();
    const bool identity = coding.isEmpty() || coding.compare("identity", Qt::CaseInsensitive) == 0;
    m_expected = length.isValid() && identity ? length.toLongLong() : -1;
    emit responseReceived();
}

void Transfer::readBody()
{
    QNetworkReply* reply = m_reply;
    // A receiver of progress() may cancel or start over, and a failed write aborts the reply.
    while (reply && m_reply == reply && reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(kReadChunk);
        // An error page is no part of the result, in memory or on disk.
        if (m_httpStatus >= 400 || !m_writeError.isEmpty())
            continue;
        if (!accept(chunk))
            return;
    }
}

bool Transfer::accept(const QByteArray& chunk)
{
    if (m_file && !chunk.isEmpty()) {
        if (!m_fileOpened) {
            m_fileOpened = true;
            // Unbuffered, so that a full disk fails the write that meets it rather than a
            // flush nobody checks.
            if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
                m_writeError = m_file->errorString();
        }
        if (m_writeError.isEmpty() && m_file->write(chunk) != chunk.size())
            m_writeError = m_file->errorString();
        if (!m_writeError.isEmpty()) {
            // A short file must not be reported as the body: stop here and fail.
            noteWriteError(m_writeError);
            if (!m_reply->isFinished())
                m_reply->abort();
            return false;
        }
    } else if (!m_file) {
        m_data.append(chunk);
    }
    m_digest.addData(chunk);
    m_received += chunk.size();
    emit progress(m_received, m_expected);
    return true;
}

void Transfer::replyFinished()
{
    QNetworkReply* reply = m_reply;
    readBody();
    if (!reply || m_reply != reply)
        return;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    // The file is whole only once it is closed without an error.
    if (m_file && m_fileOpened && m_writeError.isEmpty()) {
        m_file->close();
        if (m_file->error() != QFileDevice::NoError)
            noteWriteError(m_file->errorString());
    }
    if (!m_writeError.isEmpty())
        return finish(Outcome::Failed, m_writeError);
    if (m_httpStatus >= 400) {
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return finish(Outcome::Failed,
                      localizedString(QT_TRANSLATE_NOOP("Quillmor", "The server answered %1 %2."))
                          .arg(m_httpStatus)
                          .arg(reason));
    }
    // A reply cut off by a reset connection may end without an error: only the length the
    // server announced tells a whole body from a part of one. Where the connection did report
    // its end, the figures say more than "Connection closed".
    const QNetworkReply::NetworkError error = reply->error();
    if ((error == QNetworkReply::NoError || error == QNetworkReply::RemoteHostClosedError) &&
        m_expected >= 0 && m_received != m_expected)
        return finish(
            Outcome::Failed,
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The transfer broke off: the server "
                                                          "announced %1 bytes and %2 arrived."))
                .arg(m_expected)
                .arg(m_received));
    switch (error) {
    case QNetworkReply::NoError:
        return finish(Outcome::Succeeded);
    case QNetworkReply::OperationCanceledError:
        // cancel() detaches the reply before aborting it, so this one ran out of time.
        return finish(
            Outcome::Failed,
            localizedString(
                QT_TRANSLATE_NOOP("Quillmor",
                                  "The transfer timed out: nothing arrived for %1 seconds."))
                .arg(m_transferTimeout / 1000.0));
    default:
        return finish(Outcome::Failed, reply->errorString());
    }
}

void Transfer::noteWriteError(const QString& reason)
{
    m_writeError =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The download could not be saved to %1: %2"))
            .arg(m_file->fileName(), reason);
}

void Transfer::finish(Outcome outcome, const QString& errorString)
{
    if (m_file)
        m_file->close();
    if (outcome == Outcome::Succeeded) {
        // Nothing was written, so nothing may lie at the destination: a file left there by an
        // earlier transfer would otherwise pass for this one's result.
        if (m_file && !m_fileOpened && m_file->exists())
            m_file->remove();
        m_sha1 = m_digest.result().value_or(QByteArray());
    }
    m_outcome = outcome;
    m_errorString = errorString;
    // Last: the receiver may start the next transfer on this object.
    emit finished();
}
