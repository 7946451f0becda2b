#include "transfer/Transfer.h"

#include "platform/Localization.h"
#include "transfer/ResumeState.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

// The piece read in one turn of the event loop (a file:// reply offers the whole file as
// available): its write and digest take about a millisecond, and the window is drawn
// between two pieces however fast the bytes come.
constexpr qint64 kReadChunk = 512 << 10;
// What the network thread may buffer ahead of us: two pieces, so that a slow disk never
// lets a large transfer pile up in memory, and a fast link never queues more for one turn
// than the window can take.
constexpr qint64 kReadBuffer = 1 << 20;
constexpr qsizetype kInitialCapacity = 65536;
// The longest wait a server's Retry-After gets: a player watches the sheet meanwhile.
constexpr int kLongestRetryAfter = 60;

bool isTransientStatus(int status)
{
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

// Failures of the connection that may well not happen on the next try. A refused certificate,
// an unknown host or a refused proxy login will.
bool isTransientError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

// Seconds, or an HTTP date; -1 when absent or unreadable.
int retryAfterSeconds(const QByteArray& value)
{
    if (value.isEmpty())
        return -1;
    bool number = false;
    const qint64 seconds = value.trimmed().toLongLong(&number);
    if (!number) {
        const QDateTime at =
            QDateTime::fromString(QString::fromLatin1(value.trimmed()), Qt::RFC2822Date);
        if (!at.isValid())
            return -1;
        return int(qBound(qint64(0), QDateTime::currentDateTimeUtc().secsTo(at),
                          qint64(kLongestRetryAfter)));
    }
    return int(qBound(qint64(0), seconds, qint64(kLongestRetryAfter)));
}

struct ContentRange
{
    qint64 first = -1;
    qint64 total = -1; // -1 for "*"
};

// "bytes 100-199/200" or "bytes 100-199/*".
std::optional<ContentRange> parseContentRange(const QByteArray& value)
{
    const QByteArray text = value.trimmed();
    if (!text.startsWith("bytes "))
        return std::nullopt;
    const QList<QByteArray> span = text.mid(6).split('/');
    const QList<QByteArray> ends = span.value(0).split('-');
    bool firstOk = false, lastOk = false, totalOk = span.value(1) == "*";
    ContentRange range{ends.value(0).toLongLong(&firstOk), -1};
    ends.value(1).toLongLong(&lastOk);
    if (!totalOk)
        range.total = span.value(1).toLongLong(&totalOk);
    if (span.size() != 2 || ends.size() != 2 || !firstOk || !lastOk || !totalOk)
        return std::nullopt;
    return range;
}

} // namespace

Transfer::Transfer(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent), m_manager(manager)
{
    // Every fetch goes through the proxy the system names, the desktop's settings included.
    static const bool systemProxies = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    Q_UNUSED(systemProxies);
    bool given = false;
    const int delay = qEnvironmentVariableIntValue("QUILLMOR_TRANSFER_RETRY_MS", &given);
    if (given && delay >= 0)
        m_retryDelay = delay;
    // Never before the time a server asked for.
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        m_retryTicker.stop();
        attempt(true);
    });
    m_retryTicker.setInterval(1000);
    connect(&m_retryTicker, &QTimer::timeout, this, [this] {
        if (m_secondsLeft > 1)
            emit retrying(--m_secondsLeft);
    });
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
    m_sha1.clear();
    m_outcome = Outcome::Unfinished;
    m_errorString.clear();
    m_attempt = 0;
    m_running = true;
    attempt(true);
}

void Transfer::attempt(bool mayResume)
{
    m_fileOpened = false;
    m_data = QByteArray();
    if (!m_file)
        m_data.reserve(kInitialCapacity);
    m_digest.reset();
    m_httpStatus = 0;
    m_validators = {};
    m_rangeFrom = 0;
    m_startAfresh = false;
    m_resumed = 0;
    m_expected = -1;
    m_received = 0;
    m_retryAfter = -1;
    m_writeError.clear();

    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_transferTimeout);
    const bool resumable = m_resumable && m_file;
    if (resumable) {
        // Byte ranges count the bytes as sent: a compressed body would not add up.
        request.setRawHeader("Accept-Encoding", "identity");
        const std::optional<ResumeState> state =
            mayResume ? ResumeState::read(m_filePath) : std::nullopt;
        const qint64 kept = QFileInfo(m_filePath).size();
        if (state && state->url == m_url && !state->validators.rangeValidator().isEmpty() &&
            kept > 0 && (state->length < 0 || kept < state->length)) {
            m_rangeFrom = kept;
            m_validators = state->validators;
            m_expected = state->length;
            request.setRawHeader("Range", "bytes=" + QByteArray::number(kept) + '-');
            // Anything but the version the part belongs to comes whole.
            request.setRawHeader("If-Range", state->validators.rangeValidator().toLatin1());
        }
    } else if (!m_file) {
        if (!m_conditions.etag.isEmpty())
            request.setRawHeader("If-None-Match", m_conditions.etag.toLatin1());
        if (!m_conditions.lastModified.isEmpty())
            request.setRawHeader("If-Modified-Since", m_conditions.lastModified.toLatin1());
    }
    m_reply = m_manager->get(request);
    m_reply->setReadBufferSize(kReadBuffer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Transfer::readHead);
    connect(m_reply, &QNetworkReply::readyRead, this, &Transfer::readBody);
    connect(m_reply, &QNetworkReply::finished, this, &Transfer::replyFinished);
}

void Transfer::cancel()
{
    if (!m_running)
        return;
    if (m_reply)
        abortReply();
    m_retryTimer.stop();
    m_retryTicker.stop();
    m_digest.reset();
    delete std::exchange(m_digestWait, nullptr);
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
    const HttpValidators asked = m_validators;
    m_validators = {QString::fromLatin1(m_reply->rawHeader("ETag").trimmed()),
                    QString::fromLatin1(m_reply->rawHeader("Last-Modified").trimmed())};
    m_retryAfter = retryAfterSeconds(m_reply->rawHeader("Retry-After"));
    if (m_rangeFrom > 0 && (m_httpStatus == 206 || m_httpStatus == 416)) {
        // The part kept is of no use with a range of another version, or none at all: the
        // whole is asked for instead. A 416 is let end first, as Qt ends it as an error of
        // its own that an abort would report a second time.
        if (m_validators.isEmpty())
            m_validators = asked;
        m_startAfresh = m_httpStatus == 416 || !identity ||
                        m_validators.rangeValidator() != asked.rangeValidator() || !takesUpRange();
        if (m_startAfresh && m_httpStatus == 206) {
            abortReply();
            ResumeState::remove(m_filePath);
            return attempt(false);
        }
        if (m_startAfresh)
            return;
    } else {
        m_expected = length.isValid() && identity ? length.toLongLong() : -1;
    }
    // A body that will be kept is described beside it before any of it is, or, where the
    // server gives no means to ask for the rest, nothing is.
    if (m_resumable && m_file && (m_httpStatus == 200 || m_httpStatus == 206)) {
        const ResumeState state{m_url, m_validators, m_expected};
        if (!identity || m_validators.rangeValidator().isEmpty() || !state.write(m_filePath))
            ResumeState::remove(m_filePath);
    }
    emit responseReceived();
}

bool Transfer::takesUpRange()
{
    const auto range = parseContentRange(m_reply->rawHeader("Content-Range"));
    if (!range || range->first != m_rangeFrom ||
        (m_expected >= 0 && range->total >= 0 && range->total != m_expected))
        return false;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_resumed = m_received = m_rangeFrom;
    m_expected = range->total >= 0  ? range->total
                 : length.isValid() ? m_resumed + length.toLongLong()
                                    : -1;
    m_digest.resumeFile(m_filePath, m_resumed);
    return true;
}

void Transfer::readBody()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    if (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(kReadChunk);
        // An error page is no part of the result, in memory or on disk.
        if (m_httpStatus < 400 && m_writeError.isEmpty() && !accept(chunk))
            return;
    }
    // A receiver of progress() may cancel or start over, and a failed write aborts the reply.
    if (m_reply != reply)
        return;
    if (reply->bytesAvailable() > 0) {
        // The next piece on the next turn; the last one finishes the reply if it has ended.
        if (!std::exchange(m_readQueued, true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_readQueued = false;
                    readBody();
                },
                Qt::QueuedConnection);
    } else if (reply->isFinished()) {
        replyFinished();
    }
}

bool Transfer::accept(const QByteArray& chunk)
{
    if (m_file && !chunk.isEmpty()) {
        if (!m_fileOpened) {
            m_fileOpened = true;
            // Unbuffered, so that a full disk fails the write that meets it rather than a
            // flush nobody checks.
            const auto mode = m_resumed > 0 ? QIODevice::Append : QIODevice::Truncate;
            if (!m_file->open(QIODevice::WriteOnly | mode | QIODevice::Unbuffered))
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
    m_digest.add(chunk);
    m_received += chunk.size();
    emit progress(m_received, m_expected);
    return true;
}

void Transfer::replyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    // What the reply still holds is read first, a piece a turn; the last piece comes back here.
    if (reply->bytesAvailable() > 0)
        return readBody();
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();
    if (m_startAfresh) {
        ResumeState::remove(m_filePath);
        return attempt(false);
    }
    // The file is whole only once it is closed without an error.
    if (m_file && m_fileOpened && m_writeError.isEmpty()) {
        m_file->close();
        if (m_file->error() != QFileDevice::NoError)
            noteWriteError(m_file->errorString());
    }
    if (!m_writeError.isEmpty())
        return fail(m_writeError, false);
    if (m_httpStatus >= 400) {
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return fail(localizedString(QT_TRANSLATE_NOOP("Quillmor", "The server answered %1 %2."))
                        .arg(m_httpStatus)
                        .arg(reason),
                    isTransientStatus(m_httpStatus));
    }
    // A reply cut off by a reset connection may end without an error: only the length the
    // server announced tells a whole body from a part of one. Where the connection did report
    // its end, the figures say more than "Connection closed".
    const QNetworkReply::NetworkError error = reply->error();
    if ((error == QNetworkReply::NoError || error == QNetworkReply::RemoteHostClosedError) &&
        m_expected >= 0 && m_received != m_expected)
        return fail(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The transfer broke off: the server "
                                                          "announced %1 bytes and %2 arrived."))
                .arg(m_expected)
                .arg(m_received),
            true);
    switch (error) {
    case QNetworkReply::NoError:
        return succeed();
    case QNetworkReply::OperationCanceledError:
        // cancel() detaches the reply before aborting it, so this one ran out of time.
        return fail(localizedString(
                        QT_TRANSLATE_NOOP(
                            "Quillmor", "The transfer timed out: nothing arrived for %1 seconds."))
                        .arg(m_transferTimeout / 1000.0),
                    true);
    default:
        return fail(reply->errorString(), isTransientError(error));
    }
}

void Transfer::noteWriteError(const QString& reason)
{
    m_writeError =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The download could not be saved to %1: %2"))
            .arg(m_file->fileName(), reason);
}

void Transfer::fail(const QString& reason, bool transient)
{
    if (!transient || m_attempt >= m_retries)
        return finish(Outcome::Failed, reason);
    if (m_file)
        m_file->close();
    const int delay = m_retryAfter >= 0 ? m_retryAfter * 1000 : m_retryDelay << m_attempt;
    ++m_attempt;
    m_secondsLeft = qMax(1, (delay + 999) / 1000);
    m_retryTimer.start(delay);
    m_retryTicker.start();
    emit retrying(m_secondsLeft);
}

void Transfer::succeed()
{
    // A resumed file's first part may still be being read back; the digest waits for it.
    if (m_digest.isReading()) {
        auto* watcher = new QFutureWatcher<void>(this);
        m_digestWait = watcher;
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
            watcher->deleteLater();
            if (std::exchange(m_digestWait, nullptr) == watcher)
                succeed();
        });
        watcher->setFuture(m_digest.reading());
        return;
    }
    if (m_resumable && m_file)
        ResumeState::remove(m_filePath);
    finish(Outcome::Succeeded);
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
    m_running = false;
    m_outcome = outcome;
    m_errorString = errorString;
    // Last: the receiver may start the next transfer on this object.
    emit finished();
}
