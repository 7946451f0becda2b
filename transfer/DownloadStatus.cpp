#include "transfer/DownloadStatus.h"

#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"

#include <QFile>
#include <QLabel>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>

#include <climits>
#include <utility>

namespace {

// Largest piece handed on at once; a file:// reply offers the whole file as available.
constexpr qint64 kReadChunk = 1 << 20;
// What the network thread may buffer ahead of us, so a slow disk never lets a large
// transfer pile up in memory.
constexpr qint64 kReadBuffer = 4 << 20;
constexpr qsizetype kInitialCapacity = 65536;

} // namespace

DownloadStatus::DownloadStatus(QObject* parent) : QObject(parent) {}

DownloadStatus::~DownloadStatus()
{
    if (m_urlConnection) {
        m_urlConnection->disconnect(this);
        m_urlConnection->abort();
    }
    delete m_downloadSheet.data();
}

DownloadSheet* DownloadStatus::downloadSheet() const
{
    return m_downloadSheet;
}

void DownloadStatus::loadData(const QUrl& url, QWidget* window, DownloadCompletion completion)
{
    m_targetUrl.clear();
    m_receivedFile.reset();
    m_receivedData = QByteArray();
    m_receivedData->reserve(kInitialCapacity);
    start(url, window, std::move(completion));
}

void DownloadStatus::loadFile(const QUrl& url, const QUrl& file, QWidget* window,
                              DownloadCompletion completion)
{
    m_targetUrl = file;
    m_receivedData.reset();
    // Opened only when the first bytes arrive, so an empty body creates no file.
    m_receivedFile = std::make_unique<QFile>(file.toLocalFile());
    start(url, window, std::move(completion));
}

void DownloadStatus::start(const QUrl& url, QWidget* window, DownloadCompletion completion)
{
    // Callers never overlap transfers (the sheet blocks their window); should one slip
    // through, the running transfer ends as if cancelled rather than feeding two callees.
    // The sheet stays up for the new one, with any errors parked on it.
    abortTransfer();
    m_action = std::move(completion);
    m_window = window;
    m_sourceUrl = url;
    m_httpStatus = 0;
    m_expected = -1;
    m_received = 0;
    m_barShift = 0;
    m_streamOpened = false;
    m_writeError.clear();

    ensureSheet();
    m_progressBar->setRange(0, 0);
    m_progressBar->setValue(0);
    setStatus(QT_TRANSLATE_NOOP("Quillmor", "Connecting..."));
    if (m_downloadSheet->parentWidget() != window)
        m_downloadSheet->setParent(window, m_downloadSheet->windowFlags());
    m_downloadSheet->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    m_downloadSheet->show();

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_transferTimeout);
    m_urlConnection = m_manager.get(request);
    m_urlConnection->setReadBufferSize(kReadBuffer);
    connect(m_urlConnection, &QNetworkReply::metaDataChanged, this,
            &DownloadStatus::didReceiveResponse);
    connect(m_urlConnection, &QNetworkReply::readyRead, this, &DownloadStatus::readAvailable);
    connect(m_urlConnection, &QNetworkReply::finished, this, &DownloadStatus::replyFinished);
}

void DownloadStatus::cancel(QObject*)
{
    abortTransfer();
    m_action = nullptr;
    done();
    settleParkedAlerts();
}

void DownloadStatus::abortTransfer()
{
    if (!m_urlConnection)
        return;
    // Detached first: abort() reports OperationCanceledError just like a timeout, and only
    // a timeout may reach the callee.
    QNetworkReply* reply = std::exchange(m_urlConnection, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    if (m_receivedFile)
        m_receivedFile->close();
}

void DownloadStatus::didReceiveResponse()
{
    const QVariant status = m_urlConnection->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    m_httpStatus = status.isValid() ? status.toInt() : 0;
    const QVariant length = m_urlConnection->header(QNetworkRequest::ContentLengthHeader);
    const qint64 expected = length.isValid() ? length.toLongLong() : -1;
    const QByteArray coding = m_urlConnection->rawHeader("Content-Encoding").trimmed();
    m_expected =
        coding.isEmpty() || coding.compare("identity", Qt::CaseInsensitive) == 0 ? expected : -1;
    if (m_progressBar && m_httpStatus < 400) {
        // Set for every response: a redirect's own length must not outlast it.
        m_barShift = 0;
        while ((expected >> m_barShift) > INT_MAX)
            ++m_barShift;
        m_progressBar->setRange(0, expected >= 0 ? int(expected >> m_barShift) : 0);
    }
    setStatus(QT_TRANSLATE_NOOP("Quillmor", "Received Response..."));
}

void DownloadStatus::readAvailable()
{
    QNetworkReply* reply = m_urlConnection;
    while (reply && m_urlConnection == reply && reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(kReadChunk);
        // An error page is no part of the result, in memory or on disk.
        if (m_httpStatus >= 400 || !m_writeError.isEmpty())
            continue;
        didReceiveData(chunk);
    }
}

void DownloadStatus::didReceiveData(const QByteArray& chunk)
{
    if (!chunk.isEmpty()) {
        if (m_receivedData)
            m_receivedData->append(chunk);
        if (m_receivedFile) {
            if (!m_streamOpened) {
                m_streamOpened = true;
                // Unbuffered, so that a full disk fails the write that meets it rather than
                // a flush nobody checks.
                if (!m_receivedFile->open(QIODevice::WriteOnly | QIODevice::Truncate |
                                          QIODevice::Unbuffered))
                    m_writeError = m_receivedFile->errorString();
            }
            if (m_writeError.isEmpty() && m_receivedFile->write(chunk) != chunk.size())
                m_writeError = m_receivedFile->errorString();
            if (!m_writeError.isEmpty()) {
                // A short file must not be reported as the archive: stop here and fail.
                noteWriteError(m_writeError);
                if (!m_urlConnection->isFinished())
                    m_urlConnection->abort();
                return;
            }
        }
    }
    m_received += chunk.size();
    if (m_progressBar)
        m_progressBar->setValue(int(qMin<qint64>(m_received >> m_barShift, INT_MAX)));
    setStatus(QT_TRANSLATE_NOOP("Quillmor", "Receiving Data..."));
}

void DownloadStatus::replyFinished()
{
    readAvailable();
    QNetworkReply* reply = std::exchange(m_urlConnection, nullptr);
    if (!reply)
        return;
    reply->disconnect(this);
    reply->deleteLater();
    // The file is whole only once it is closed without an error.
    if (m_receivedFile && m_streamOpened && m_writeError.isEmpty()) {
        m_receivedFile->close();
        if (m_receivedFile->error() != QFileDevice::NoError)
            noteWriteError(m_receivedFile->errorString());
    }
    if (!m_writeError.isEmpty())
        return didFailWithError(m_writeError);
    if (m_httpStatus >= 400) {
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return didFailWithError(
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
        return didFailWithError(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The transfer broke off: the server "
                                                          "announced %1 bytes and %2 arrived."))
                .arg(m_expected)
                .arg(m_received));
    switch (error) {
    case QNetworkReply::NoError:
        return connectionDidFinishLoading();
    case QNetworkReply::OperationCanceledError:
        // cancel() detaches the reply before aborting it, so this one ran out of time.
        return didFailWithError(
            localizedString(
                QT_TRANSLATE_NOOP("Quillmor",
                                  "The transfer timed out: nothing arrived for %1 seconds."))
                .arg(m_transferTimeout / 1000.0));
    default:
        return didFailWithError(reply->errorString());
    }
}

void DownloadStatus::noteWriteError(const QString& reason)
{
    m_writeError =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "The download could not be saved to %1: %2"))
            .arg(m_receivedFile->fileName(), reason);
}

void DownloadStatus::connectionDidFinishLoading()
{
    setStatus(QT_TRANSLATE_NOOP("Quillmor", "Success!"));
    done();
    success();
    settleParkedAlerts();
}

void DownloadStatus::didFailWithError(const QString& description)
{
    // The callee may start the next transfer, which replaces the remembered window and URL.
    const QPointer<QWidget> window = m_window;
    const QUrl asked = m_sourceUrl;
    const bool present = m_presentsErrors;
    m_lastError = description;
    done();
    fail();
    if (present)
        presentError(window, description, asked);
    settleParkedAlerts();
}

void DownloadStatus::done()
{
    if (m_receivedFile)
        m_receivedFile->close();
    if (m_downloadSheet)
        m_downloadSheet->hide();
}

void DownloadStatus::settleParkedAlerts()
{
    if (!m_downloadSheet)
        return;
    const QList<Alert*> parked = m_downloadSheet->findChildren<Alert*>(Qt::FindDirectChildrenOnly);
    if (parked.isEmpty())
        return;
    // The completion started another transfer: its sheet holds the window, so the errors
    // stay parked on it, below it and usable, however many transfers follow.
    if (m_downloadSheet->isVisible()) {
        QRect below = m_downloadSheet->frameGeometry();
        for (Alert* alert : parked) {
            alert->show();
            alert->move(below.center().x() - alert->frameGeometry().width() / 2,
                        below.bottom() + 12);
            below = alert->frameGeometry();
        }
        return;
    }
    // No transfer follows: the errors become ordinary sheets on their window.
    QWidget* window = m_downloadSheet->parentWidget();
    for (Alert* alert : parked) {
        alert->setParent(window, alert->windowFlags());
        alert->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
        alert->setAttribute(Qt::WA_Moved, false);
        alert->show();
    }
}

void DownloadStatus::success()
{
    QVariant result;
    if (m_receivedData) {
        result = *m_receivedData;
    } else if (m_receivedFile) {
        // Nothing was written, so nothing may lie at the destination: a file left there by
        // an earlier transfer would otherwise pass for this one's result.
        if (!m_streamOpened && m_receivedFile->exists())
            m_receivedFile->remove();
        result = m_targetUrl;
    }
    const DownloadCompletion completion = std::exchange(m_action, nullptr);
    const QUrl asked = m_sourceUrl;
    if (completion)
        completion(result, asked);
}

void DownloadStatus::fail()
{
    const DownloadCompletion completion = std::exchange(m_action, nullptr);
    const QUrl asked = m_sourceUrl;
    if (completion)
        completion(QVariant(), asked);
}

void DownloadStatus::setStatus(const char* english)
{
    const QString text = localizedString(english);
    // The sheet goes with its window should the caller delete that window mid-transfer.
    if (m_infoLabel)
        m_infoLabel->setText(text);
    emit statusChanged(text);
}

void DownloadStatus::ensureSheet()
{
    // The sheet belongs to its window while shown, so it goes when that window goes.
    if (m_downloadSheet)
        return;
    m_downloadSheet = new DownloadSheet;
    m_infoLabel = m_downloadSheet->infoLabel();
    m_progressBar = m_downloadSheet->progressBar();
    connect(m_downloadSheet, &DownloadSheet::cancelRequested, this, [this] { cancel(); });
}

void DownloadStatus::presentError(QWidget* window, const QString& description, const QUrl& url)
{
    auto* alert = new Alert;
    alert->setAlertStyle(Alert::Critical);
    alert->setMessageText(description);
    alert->setInformativeText(url.toDisplayString());
    alert->beginSheetModalForWindow(window);
    // A transfer started from the completion already holds the window. Two window-modal
    // sheets on one window would block each other, so the error rides on the progress sheet
    // without modality, placed below it (settleParkedAlerts), until no transfer follows.
    if (m_downloadSheet && m_downloadSheet->isVisible() &&
        m_downloadSheet->parentWidget() == window) {
        alert->setParent(m_downloadSheet, alert->windowFlags());
        alert->setWindowModality(Qt::NonModal);
    }
}
