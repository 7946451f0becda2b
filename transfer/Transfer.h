#pragma once

// One GET of a URL (http, https or file) into memory or into a file, taking the SHA-1 of the
// body as it arrives so that a downloaded archive needs no second read to be hashed. It needs
// no window: DownloadStatus puts a progress sheet and alerts on top of it.
//
// A file transfer may be resumable: what arrived stays when it fails or is cancelled, with
// what the server said identifies it (ResumeState), and the next start for the same URL asks
// only for the rest. A transient failure (a refused, reset or timed-out connection, a body cut
// short, 408, 429, 5xx) may be tried again after a growing delay, resuming where it can.
// Proxies are the system's (http_proxy, https_proxy, no_proxy and the desktop's settings).
//
// Every start ends in exactly one finished(), cancel() included; the result stays readable
// until the next start. finished() is emitted from within the network's signals (and from
// cancel()), and a receiver may start the next transfer from it, on this object or another.

#include "transfer/AppendDigest.h"
#include "transfer/HttpValidators.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class QFile;
class QFutureWatcherBase;
class QNetworkAccessManager;
class QNetworkReply;

class Transfer : public QObject
{
    Q_OBJECT
public:
    enum class Outcome
    {
        Unfinished, // not started, or still running
        Succeeded,  // the whole body arrived and, for a file, reached it
        Failed,     // see errorString()
        Cancelled,  // by cancel(); a file keeps what was written before
    };
    Q_ENUM(Outcome)

    explicit Transfer(QNetworkAccessManager* manager, QObject* parent = nullptr);
    ~Transfer() override;

    // Into memory with an empty filePath. A file is created or truncated only when the first
    // bytes arrive; a body that turns out empty removes any file already at the path, so that
    // nothing there passes for this transfer's result. Starting while running cancels first.
    void start(const QUrl& url, const QString& filePath = {});
    void cancel();

    // For the next start of a file transfer: keep what arrives for a later start to resume.
    // Its state lies beside the file (ResumeState::pathFor) and goes once the file is whole.
    void setResumable(bool resumable) { m_resumable = resumable; }
    // For the next start of a memory transfer: the version held already, which the server
    // may answer with 304 rather than send again.
    void setConditions(const HttpValidators& known) { m_conditions = known; }
    // How often a transient failure is tried again (0 by default), and the first delay, which
    // doubles each time; a server's Retry-After wins, up to a minute. The delay starts as
    // QUILLMOR_TRANSFER_RETRY_MS says when it is set, else at a second.
    void setRetries(int count) { m_retries = count; }
    void setRetryDelay(int msecs) { m_retryDelay = msecs; }

    // How long the transfer may go without receiving anything before it fails; for the next
    // start.
    void setTransferTimeout(int msecs) { m_transferTimeout = msecs; }
    int transferTimeout() const { return m_transferTimeout; }

    // Also while it waits to try again, and while the part a resumed file held is hashed.
    bool isRunning() const { return m_running; }
    // As passed to start, even after redirects.
    QUrl url() const { return m_url; }
    QString filePath() const { return m_filePath; }

    Outcome outcome() const { return m_outcome; }
    // Translated, for Failed.
    QString errorString() const { return m_errorString; }
    // The last response's status; 0 before one, and for file URLs.
    int httpStatus() const { return m_httpStatus; }
    qint64 bytesReceived() const { return m_received; }
    // The length the answer announced, -1 when it announced none or one that counts other
    // bytes than the ones handed to us (a compressed body).
    qint64 bytesTotal() const { return m_expected; }
    // The body so far, of a transfer into memory.
    QByteArray data() const { return m_data; }
    // The body's 20-byte SHA-1 once Succeeded, of the whole file when it was resumed; empty
    // otherwise.
    QByteArray sha1() const { return m_sha1; }
    // The server answered that the version setConditions() named is still current: Succeeded
    // with no body.
    bool notModified() const { return m_httpStatus == 304; }
    // What identified the last answer, for setConditions() next time.
    HttpValidators validators() const { return m_validators; }
    // The bytes the file held already when this answer took it up; 0 when it started afresh.
    qint64 resumedFrom() const { return m_resumed; }

signals:
    // A response's head arrived (a redirect's too): httpStatus() and bytesTotal() are its own.
    void responseReceived();
    // Body bytes arrived; total is -1 when unknown. An error page's bytes are not counted.
    void progress(qint64 received, qint64 total);
    // A transient failure is tried again in this many seconds; told again every second.
    void retrying(int secondsLeft);
    void finished();

private:
    void attempt(bool mayResume);
    void readHead();
    bool takesUpRange();
    void readBody();
    void replyFinished();
    bool accept(const QByteArray& chunk);
    void abortReply();
    void noteWriteError(const QString& reason);
    // A failure that may pass is tried again while tries are left; the others end the transfer.
    void fail(const QString& reason, bool transient);
    void succeed();
    void finish(Outcome outcome, const QString& errorString = {});

    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;
    bool m_running = false;
    QUrl m_url;
    QString m_filePath;
    std::unique_ptr<QFile> m_file;
    bool m_fileOpened = false;
    bool m_readQueued = false; // a turn to read the next piece is on its way
    QByteArray m_data;
    AppendDigest m_digest;
    QFutureWatcherBase* m_digestWait = nullptr;
    QByteArray m_sha1;
    int m_transferTimeout = 60000;
    bool m_resumable = false;
    HttpValidators m_conditions;
    int m_retries = 0;
    int m_retryDelay = 1000;
    int m_attempt = 0;
    int m_retryAfter = -1; // seconds the last answer asked us to wait, -1 for none
    QTimer m_retryTimer;
    QTimer m_retryTicker;
    int m_secondsLeft = 0;
    int m_httpStatus = 0;
    HttpValidators m_validators;
    qint64 m_rangeFrom = 0; // the byte the request asked to start at
    bool m_startAfresh = false;
    qint64 m_resumed = 0;
    qint64 m_expected = -1;
    qint64 m_received = 0;
    QString m_writeError;
    Outcome m_outcome = Outcome::Unfinished;
    QString m_errorString;
};
