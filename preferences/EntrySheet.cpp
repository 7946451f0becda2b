#include "preferences/EntrySheet.h"

#include "ui_EntrySheet.h"

EntrySheet::EntrySheet(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::EntrySheet>())
{
    m_ui->setupUi(this);
    setMessage({});
}

EntrySheet::~EntrySheet() = default;

QLineEdit* EntrySheet::repositoryUrl() const
{
    return m_ui->repositoryUrl;
}

QPushButton* EntrySheet::okButton() const
{
    return m_ui->okButton;
}

QPushButton* EntrySheet::cancelButton() const
{
    return m_ui->cancelButton;
}

void EntrySheet::setMessage(const QString& text)
{
    m_ui->messageLabel->setText(text);
    m_ui->messageLabel->setVisible(!text.isEmpty());
}

QString EntrySheet::message() const
{
    return m_ui->messageLabel->text();
}
