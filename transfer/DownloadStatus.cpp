#include "transfer/DownloadStatus.h"

#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"
#include "transfer/Transfer.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <climits>
#include <utility>

namespace {

// The sizes and speed are redrawn at most this often; the bar follows every piece.
constexpr qint64 kDetailEveryMsecs = 250;

} // namespace

DownloadStatus::DownloadStatus(QObject* parent) : QObject(parent) {}

DownloadStatus::~DownloadStatus()
{
    // The transfer goes first, without a word: nobody is left to hear how it ended.
    delete m_transfer.data();
    delete m_downloadSheet.data();
}

DownloadSheet* DownloadStatus::downloadSheet() const
{
    return m_downloadSheet;
}

std::optional<QByteArray> DownloadStatus::data() const
{
    if (!m_transfer || !m_transfer->filePath().isEmpty())
        return std::nullopt;
    return m_transfer->data();
}

bool DownloadStatus::isLoading() const
{
    return m_transfer && m_transfer->isRunning();
}

bool DownloadStatus::notModified() const
{
    return m_transfer && !m_transfer->isRunning() && m_transfer->notModified();
}

HttpValidators DownloadStatus::lastValidators() const
{
    return m_transfer ? m_transfer->validators() : HttpValidators();
}

void DownloadStatus::loadData(const QUrl& url, QWidget* window, DownloadCompletion completion,
                              const HttpValidators& known)
{
    m_targetUrl.clear();
    start(url, QString(), window, std::move(completion), {}, known);
}

void DownloadStatus::loadFile(const QUrl& url, const QUrl& file, QWidget* window,
                              DownloadCompletion completion, const QString& title)
{
    m_targetUrl = file;
    start(url, file.toLocalFile(), window, std::move(completion), title, {});
}

void DownloadStatus::start(const QUrl& url, const QString& filePath, QWidget* window,
                           DownloadCompletion completion, const QString& title,
                           const HttpValidators& known)
{
    // Callers never overlap transfers (the sheet blocks their window); should one slip
    // through, the running transfer ends as if cancelled rather than feeding two callees.
    // The sheet stays up for the new one, with any errors parked on it.
    if (Transfer* previous = m_transfer.data()) {
        previous->disconnect(this);
        previous->cancel();
        previous->deleteLater();
    }
    m_action = std::move(completion);
    m_window = window;
    m_barShift = 0;
    m_lastDigest.reset();

    ensureSheet();
    m_progressBar->setRange(0, 0);
    m_progressBar->setValue(0);
    const QString name = QFileInfo(url.path()).fileName();
    m_infoLabel->setText(!title.isEmpty()
                             ? title
                             : localizedString(QT_TRANSLATE_NOOP("Quillmor", "Downloading %1"))
                                   .arg(!name.isEmpty() ? name : url.host()));
    m_clock.start();
    m_speed.restart(0, 0);
    setStatus(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Connecting...")));
    if (m_downloadSheet->parentWidget() != window)
        m_downloadSheet->setParent(window, m_downloadSheet->windowFlags());
    m_downloadSheet->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    m_downloadSheet->show();

    m_transfer = new Transfer(&m_manager, this);
    m_transfer->setTransferTimeout(m_transferTimeout);
    m_transfer->setRetries(m_retries);
    m_transfer->setResumable(!filePath.isEmpty());
    m_transfer->setConditions(known);
    connect(m_transfer, &Transfer::responseReceived, this, &DownloadStatus::responseReceived);
    connect(m_transfer, &Transfer::progress, this, &DownloadStatus::progress);
    connect(m_transfer, &Transfer::retrying, this,
            [this](int secondsLeft) { setStatus(retryText(secondsLeft)); });
    connect(m_transfer, &Transfer::finished, this, &DownloadStatus::transferFinished);
    m_transfer->start(url, filePath);
}

void DownloadStatus::cancel(QObject*)
{
    m_action = nullptr;
    if (isLoading()) {
        m_transfer->cancel(); // reported back as Cancelled, which closes the sheet
        return;
    }
    done();
    settleParkedAlerts();
}

void DownloadStatus::responseReceived()
{
    if (m_progressBar && m_transfer->httpStatus() < 400) {
        // Set for every response: a redirect's own length must not outlast it.
        const qint64 expected = m_transfer->bytesTotal();
        m_barShift = 0;
        while ((expected >> m_barShift) > INT_MAX)
            ++m_barShift;
        m_progressBar->setRange(0, expected >= 0 ? int(expected >> m_barShift) : 0);
        m_progressBar->setValue(int(m_transfer->bytesReceived() >> m_barShift));
    }
    // The speed counts what arrives from here on, not a part kept from an earlier try.
    m_clock.start();
    m_speed.restart(m_transfer->bytesReceived(), 0);
    m_detailShownAt = -kDetailEveryMsecs;
}

void DownloadStatus::progress(qint64 received, qint64 total)
{
    if (m_progressBar)
        m_progressBar->setValue(int(qMin<qint64>(received >> m_barShift, INT_MAX)));
    const qint64 now = m_clock.elapsed();
    m_speed.sample(received, now);
    if (now - m_detailShownAt < kDetailEveryMsecs && received != total)
        return;
    m_detailShownAt = now;
    setStatus(progressDetail(received, total, m_speed.bytesPerSecond()));
}

void DownloadStatus::transferFinished()
{
    switch (m_transfer->outcome()) {
    case Transfer::Outcome::Succeeded:
        setStatus(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Success!")));
        done();
        success();
        settleParkedAlerts();
        return;
    case Transfer::Outcome::Failed:
        didFailWithError(m_transfer->errorString());
        return;
    case Transfer::Outcome::Unfinished:
    case Transfer::Outcome::Cancelled:
        // Only the sheet's Cancel cancels: the callee is not called.
        m_action = nullptr;
        done();
        settleParkedAlerts();
        return;
    }
}

void DownloadStatus::didFailWithError(const QString& description)
{
    // The callee may start the next transfer, which replaces the remembered window and URL.
    const QPointer<QWidget> window = m_window;
    const QUrl asked = m_transfer->url();
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
    const QVariant result =
        m_transfer->filePath().isEmpty() ? QVariant(m_transfer->data()) : QVariant(m_targetUrl);
    if (!m_transfer->sha1().isEmpty())
        m_lastDigest = m_transfer->sha1();
    const DownloadCompletion completion = std::exchange(m_action, nullptr);
    const QUrl asked = m_transfer->url();
    if (completion)
        completion(result, asked);
}

void DownloadStatus::fail()
{
    const DownloadCompletion completion = std::exchange(m_action, nullptr);
    const QUrl asked = m_transfer->url();
    if (completion)
        completion(QVariant(), asked);
}

void DownloadStatus::setStatus(const QString& text)
{
    // The sheet goes with its window should the caller delete that window mid-transfer.
    if (m_detailLabel)
        m_detailLabel->setText(text);
    emit statusChanged(text);
}

void DownloadStatus::ensureSheet()
{
    // The sheet belongs to its window while shown, so it goes when that window goes.
    if (m_downloadSheet)
        return;
    m_downloadSheet = new DownloadSheet;
    m_infoLabel = m_downloadSheet->infoLabel();
    m_detailLabel = m_downloadSheet->detailLabel();
    m_detailLabel->show();
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
