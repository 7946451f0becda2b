#pragma once

// The About box: the launcher's icon, name and version, what it does, its licence and its web
// address, as a sheet on the main window that OK or Escape closes. The address opens in the
// player's browser; when none starts, a sheet on the box says so.

#include <QDialog>

class QLabel;

class AboutSheet : public QDialog
{
    Q_OBJECT
public:
    explicit AboutSheet(QWidget* window);

    // Opens a new box on the window; it deletes itself when closed.
    static AboutSheet* showSheet(QWidget* window);

    QLabel* linkLabel() const { return m_link; }

private:
    void openWebsite(const QString& address);

    QLabel* m_link = nullptr;
};
