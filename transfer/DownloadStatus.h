#pragma once

// The launcher's one download controller: fetches a URL into memory (feeds) or into a file
// (level archives) behind a progress sheet on the caller's window, then calls the caller back
// with the result and the URL it asked for. One transfer at a time; it lives as long as the
// application and is the only part of the launcher that talks to the network.
//
// Completion: the received bytes (QByteArray) or the destination file (QUrl) on success, an
// invalid QVariant on failure, and always the URL as passed to the load, even after
// redirects. A cancel from the sheet makes no call. Failures are shown on the window after
// the completion has run, so the callee may start the next transfer from inside the call.

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class DownloadSheet;
class QFile;
class QLabel;
class QNetworkReply;
class QProgressBar;
class QWidget;

using DownloadCompletion = std::function<void(const QVariant& result, const QUrl& asked)>;

class DownloadStatus : public QObject
{
    Q_OBJECT
public:
    explicit DownloadStatus(QObject* parent = nullptr);
    ~DownloadStatus() override;

    void loadData(const QUrl& url, QWidget* window, DownloadCompletion completion);
    void loadFile(const QUrl& url, const QUrl& file, QWidget* window,
                  DownloadCompletion completion);
    // The sheet's Cancel: stops the transfer and closes the sheet; the callee is not called.
    void cancel(QObject* sender = nullptr);
    // The bytes of the current or last memory transfer; none once a file transfer started.
    std::optional<QByteArray> data() const { return m_receivedData; }

    bool isLoading() const { return m_urlConnection != nullptr; }
    // The file the running transfer writes; none while no file transfer runs.
    QUrl fileBeingWritten() const { return isLoading() ? m_targetUrl : QUrl(); }
    DownloadSheet* downloadSheet() const;
    // Off, a failure is not shown: the caller reads lastError() in its completion and tells
    // the user itself, as one summary of many transfers.
    void setPresentsErrors(bool presents) { m_presentsErrors = presents; }
    QString lastError() const { return m_lastError; }
    // How long a transfer may go without receiving anything before it fails.
    void setTransferTimeout(int msecs) { m_transferTimeout = msecs; }
    int transferTimeout() const { return m_transferTimeout; }

signals:
    // The sheet's status line changed.
    void statusChanged(const QString& text);

private:
    void start(const QUrl& url, QWidget* window, DownloadCompletion completion);
    void readAvailable();
    void replyFinished();

    // The connection's steps, in the order a transfer meets them.
    void didReceiveResponse();
    void didReceiveData(const QByteArray& chunk);
    void connectionDidFinishLoading();
    void didFailWithError(const QString& description);
    void abortTransfer();
    void done();
    // Errors parked on the progress sheet stay there while a transfer follows, and become
    // sheets on their window once none does.
    void settleParkedAlerts();
    void success();
    void fail();

    void noteWriteError(const QString& reason);
    void setStatus(const char* english);
    void ensureSheet();
    void presentError(QWidget* window, const QString& description, const QUrl& url);

    QPointer<DownloadSheet> m_downloadSheet;
    QPointer<QLabel> m_infoLabel;
    QPointer<QProgressBar> m_progressBar;
    QUrl m_targetUrl;
    QUrl m_sourceUrl;
    std::unique_ptr<QFile> m_receivedFile;
    std::optional<QByteArray> m_receivedData;
    QNetworkReply* m_urlConnection = nullptr;
    QPointer<QWidget> m_window;
    DownloadCompletion m_action;

    QNetworkAccessManager m_manager;
    int m_transferTimeout = 60000;
    int m_httpStatus = 0;
    // The length the answer announced, -1 when it announced none or one that counts other
    // bytes than the ones handed to us (a compressed body).
    qint64 m_expected = -1;
    qint64 m_received = 0;
    // Bodies beyond the bar's int range are counted in units of 2^m_barShift bytes.
    int m_barShift = 0;
    bool m_streamOpened = false;
    QString m_writeError;
    QString m_lastError;
    bool m_presentsErrors = true;
};
