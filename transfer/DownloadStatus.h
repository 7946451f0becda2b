#pragma once

// The launcher's one download controller: fetches a URL into memory (feeds) or into a file
// (level archives) behind a progress sheet on the caller's window, then calls the caller back
// with the result and the URL it asked for. One transfer at a time; it lives as long as the
// application and is the only part of the launcher that talks to the network. The network and
// file work is a Transfer's; this class adds the sheet, the alerts and the completion.
//
// Completion: the received bytes (QByteArray) or the destination file (QUrl) on success, an
// invalid QVariant on failure, and always the URL as passed to the load, even after
// redirects. A cancel from the sheet makes no call. Failures are shown on the window after
// the completion has run, so the callee may start the next transfer from inside the call.
//
// The sheet names what is downloaded ("Downloading Castle") and tells the bytes done, the
// speed and the time left. Transient failures are tried again up to three times, the sheet
// counting down to the next try; a file download that fails or is cancelled keeps its part
// for the next download of the same URL to resume.

#include "transfer/HttpValidators.h"
#include "transfer/TransferProgress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class DownloadSheet;
class QLabel;
class QProgressBar;
class QWidget;
class Transfer;

using DownloadCompletion = std::function<void(const QVariant& result, const QUrl& asked)>;

class DownloadStatus : public QObject
{
    Q_OBJECT
public:
    explicit DownloadStatus(QObject* parent = nullptr);
    ~DownloadStatus() override;

    // With validators, the server may answer that the version they name is still current:
    // the completion then gets empty bytes and notModified() says so.
    void loadData(const QUrl& url, QWidget* window, DownloadCompletion completion,
                  const HttpValidators& known = {});
    // The sheet says "Downloading" and the title given, else the file name the URL ends in.
    void loadFile(const QUrl& url, const QUrl& file, QWidget* window, DownloadCompletion completion,
                  const QString& title = {});
    // The sheet's Cancel: stops the transfer and closes the sheet; the callee is not called.
    void cancel(QObject* sender = nullptr);
    // The bytes of the current or last memory transfer; none once a file transfer started.
    std::optional<QByteArray> data() const;
    // The SHA-1 (20 bytes) of the body of the last transfer, set before its completion is
    // called; none while a transfer runs and after one that failed or was cancelled.
    std::optional<QByteArray> lastDigest() const { return m_lastDigest; }
    // The last transfer's answer said the validators given are current; what identified it.
    bool notModified() const;
    HttpValidators lastValidators() const;

    bool isLoading() const;
    // The file the running transfer writes; none while no file transfer runs.
    QUrl fileBeingWritten() const { return isLoading() ? m_targetUrl : QUrl(); }
    DownloadSheet* downloadSheet() const;
    // Off, a failure is not shown: the caller reads lastError() in its completion and tells
    // the user itself, as one summary of many transfers.
    void setPresentsErrors(bool presents) { m_presentsErrors = presents; }
    bool presentsErrors() const { return m_presentsErrors; }
    QString lastError() const { return m_lastError; }
    // How long a transfer may go without receiving anything before it fails.
    void setTransferTimeout(int msecs) { m_transferTimeout = msecs; }
    int transferTimeout() const { return m_transferTimeout; }
    // How often a transient failure is tried again, for the next load.
    void setRetries(int count) { m_retries = count; }

signals:
    // The sheet's status line, under the bar, changed.
    void statusChanged(const QString& text);

private:
    void start(const QUrl& url, const QString& filePath, QWidget* window,
               DownloadCompletion completion, const QString& title, const HttpValidators& known);
    void responseReceived();
    void progress(qint64 received, qint64 total);
    void transferFinished();

    void didFailWithError(const QString& description);
    void done();
    // Errors parked on the progress sheet stay there while a transfer follows, and become
    // sheets on their window once none does.
    void settleParkedAlerts();
    void success();
    void fail();

    void setStatus(const QString& text);
    void ensureSheet();
    void presentError(QWidget* window, const QString& description, const QUrl& url);

    QPointer<DownloadSheet> m_downloadSheet;
    QPointer<QLabel> m_infoLabel;
    QPointer<QLabel> m_detailLabel;
    QPointer<QProgressBar> m_progressBar;
    QUrl m_targetUrl;
    // The running or last transfer; one a load, so that a load started over a running one
    // never hears from it again.
    QPointer<Transfer> m_transfer;
    QPointer<QWidget> m_window;
    DownloadCompletion m_action;
    std::optional<QByteArray> m_lastDigest;

    QNetworkAccessManager m_manager;
    int m_transferTimeout = 60000;
    int m_retries = 3;
    QElapsedTimer m_clock;
    TransferSpeed m_speed;
    qint64 m_detailShownAt = 0;
    // Bodies beyond the bar's int range are counted in units of 2^m_barShift bytes.
    int m_barShift = 0;
    QString m_lastError;
    bool m_presentsErrors = true;
};
