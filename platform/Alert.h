#pragma once

// A window-modal alert in the launcher's manner: buttons are added by title and answer
// 1000, 1001, 1002 in the order they were added; the first is the default button and one
// titled "Cancel" answers the Escape key.

#include <QMessageBox>

#include <functional>

class Alert : public QMessageBox
{
    Q_OBJECT
public:
    enum AlertStyle { Warning = 0, Informational = 1, Critical = 2 };
    enum : int { FirstButtonReturn = 1000, SecondButtonReturn = 1001, ThirdButtonReturn = 1002 };

    explicit Alert(QWidget* parent = nullptr);

    void setMessageText(const QString& text) { setText(text); }
    QString messageText() const { return text(); }
    QAbstractButton* addButtonWithTitle(const QString& title);
    void setAlertStyle(AlertStyle style);
    AlertStyle alertStyle() const { return m_style; }
    // The return code of a button of this alert, 0 for any other.
    int returnCodeFor(QAbstractButton* button) const;

    // Shows the alert as a sheet on the window and returns at once. didEnd runs with the
    // pressed button's code when the sheet closes; the alert deletes itself afterwards.
    void beginSheetModalForWindow(QWidget* window, std::function<void(int)> didEnd = {});
    // An alert with one "OK" button, as a sheet on the window.
    static void showSheet(QWidget* window, const QString& message, const QString& detail,
                          AlertStyle style);

private:
    QList<QAbstractButton*> m_buttons;
    AlertStyle m_style = Warning;
};
