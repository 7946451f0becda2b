#pragma once

// The progress sheet of a transfer: what is under way, a progress bar, a detail line under it
// (hidden until it is used) and Cancel. It only shows; DownloadStatus drives it and decides
// what Cancel, Escape and closing the sheet mean.

#include <QDialog>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
namespace Ui {
class DownloadSheet;
}

class DownloadSheet : public QDialog
{
    Q_OBJECT
public:
    explicit DownloadSheet(QWidget* parent = nullptr);
    ~DownloadSheet() override;

    QLabel* infoLabel() const;
    QLabel* detailLabel() const;
    QProgressBar* progressBar() const;
    QPushButton* cancelButton() const;

    // Escape and the window's close button ask for a cancel instead of hiding the sheet
    // behind the controller's back.
    void reject() override { emit cancelRequested(); }

signals:
    void cancelRequested();

private:
    std::unique_ptr<Ui::DownloadSheet> m_ui;
};
