#pragma once

// The add-source sheet: one address field, a line for what is wrong with the address, OK
// and Cancel. It only shows; Preferences fills it, reads it and decides when it closes.

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class EntrySheet;
}

class EntrySheet : public QDialog
{
    Q_OBJECT
public:
    explicit EntrySheet(QWidget* parent = nullptr);
    ~EntrySheet() override;

    QLineEdit* repositoryUrl() const;
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;

    // Empty text hides the line.
    void setMessage(const QString& text);
    QString message() const;

    // Escape and the window's close button go through the controller's Cancel, so the sheet
    // never closes behind its back.
    void reject() override { emit cancelRequested(); }

signals:
    void cancelRequested();

private:
    std::unique_ptr<Ui::EntrySheet> m_ui;
};
