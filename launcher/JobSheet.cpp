#include "launcher/JobSheet.h"

#include "flows/Job.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

JobSheet::JobSheet(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {}

DownloadSheet* JobSheet::sheet() const
{
    return m_sheet;
}

void JobSheet::bind(Job* job, const QString& text)
{
    if (m_job)
        m_job->disconnect(this);
    m_job = job;
    m_text = text;
    connect(job, &Job::progress, this, [this](qint64 done, qint64 total) {
        show();
        QProgressBar* bar = m_sheet->progressBar();
        bar->setRange(0, int(total));
        bar->setValue(int(done));
    });
    connect(job, &Job::waiting, this, [this] {
        if (m_sheet)
            m_sheet->hide();
    });
    connect(job, &Job::finished, this, [this] {
        if (m_sheet)
            m_sheet->hide();
    });
}

void JobSheet::show()
{
    if (!m_sheet) {
        m_sheet = new DownloadSheet(m_window);
        m_sheet->setWindowTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing")));
        m_sheet->setAccessibleName(m_sheet->windowTitle());
        m_sheet->progressBar()->setAccessibleName(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install progress")));
        m_sheet->setWindowModality(Qt::WindowModal);
        connect(m_sheet, &DownloadSheet::cancelRequested, this, [this] {
            m_sheet->cancelButton()->setEnabled(false);
            if (m_job)
                m_job->cancel();
        });
    }
    if (m_sheet->isVisible())
        return;
    m_sheet->infoLabel()->setText(m_text);
    m_sheet->progressBar()->setRange(0, 0);
    m_sheet->progressBar()->setValue(0);
    m_sheet->cancelButton()->setEnabled(true);
    m_sheet->cancelButton()->setDefault(true);
    m_sheet->open();
    // Shown again, the sheet keeps its old place in the stacking order, which may be below a
    // window raised since.
    m_sheet->raise();
}
