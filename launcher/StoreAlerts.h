#pragma once

// Tells the player what went wrong with the launcher's files (the catalogue, the preferences):
// a sheet on the window for each failure, once, and when the window closes with changes that
// did not reach the disk, a question before they are given up.

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <utility>

class QMainWindow;

class StoreAlerts : public QObject
{
    Q_OBJECT
public:
    explicit StoreAlerts(QMainWindow* window, QObject* parent = nullptr);

    // A store could not be read or saved. Start-up reads the files before the window shows,
    // so the sheet comes from the event loop; one like a sheet still open is not stacked on it.
    void storeDidFail(const QString& message, const QString& detail);
    // Runs save (what is still unsaved) as the window closes. False when some of it did not
    // reach the disk: the player is asked, and the window closes only on "Quit Anyway".
    bool windowMayClose(const std::function<void()>& save);

private:
    QMainWindow* m_window;
    QList<std::pair<QString, QString>> m_closingFailures;
    bool m_closing = false;
    bool m_closeAnyway = false;
};
