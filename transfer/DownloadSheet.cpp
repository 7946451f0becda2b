#include "transfer/DownloadSheet.h"

#include "ui_DownloadSheet.h"

DownloadSheet::DownloadSheet(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::DownloadSheet>())
{
    m_ui->setupUi(this);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &DownloadSheet::cancelRequested);
}

DownloadSheet::~DownloadSheet() = default;

QLabel* DownloadSheet::infoLabel() const
{
    return m_ui->infoLabel;
}

QLabel* DownloadSheet::detailLabel() const
{
    return m_ui->detailLabel;
}

QProgressBar* DownloadSheet::progressBar() const
{
    return m_ui->progressBar;
}

QPushButton* DownloadSheet::cancelButton() const
{
    return m_ui->cancelButton;
}
