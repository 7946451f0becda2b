#pragma once

// One GET of a URL (http, https or file) into memory or into a file, taking the SHA-1 of the
// body as it arrives so that a downloaded archive needs no second read to be hashed. It needs
// no window: DownloadStatus puts a progress sheet and alerts on top of it.
//
// Every start ends in exactly one finished(), cancel() included; the result stays readable
// until the next start. finished() is emitted from within the network's signals (and from
// cancel()), and a receiver may start the next transfer from it, on this object or another.

#include "transfer/Sha1.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QFile;
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

    // How long the transfer may go without receiving anything before it fails; for the next
    // start.
    void setTransferTimeout(int msecs) { m_transferTimeout = msecs; }
    int transferTimeout() const { return m_transferTimeout; }

    bool isRunning() const { return m_reply != nullptr; }
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
    // The body's 20-byte SHA-1 once Succeeded; empty otherwise.
    QByteArray sha1() const { return m_sha1; }

signals:
    // A response's head arrived (a redirect's too): httpStatus() and bytesTotal() are its own.
    void responseReceived();
    // Body bytes arrived; total is -1 when unknown. An error page's bytes are not counted.
    void progress(qint64 received, qint64 total);
    void finished();

private:
    void readHead();
    void readBody();
    void replyFinished();
    bool accept(const QByteArray& chunk);
    void abortReply();
    void noteWriteError(const QString& reason);
    void finish(Outcome outcome, const QString& errorString = {});

    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;
    QUrl m_url;
    QString m_filePath;
    std::unique_ptr<QFile> m_file;
    bool m_fileOpened = false;
    QByteArray m_data;
    Sha1 m_digest;
    QByteArray m_sha1;
    int m_transferTimeout = 60000;
    int m_httpStatus = 0;
    qint64 m_expected = -1;
    qint64 m_received = 0;
    QString m_writeError;
    Outcome m_outcome = Outcome::Unfinished;
    QString m_errorString;
};
