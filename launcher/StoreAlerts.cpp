#include "launcher/StoreAlerts.h"

#include "platform/Alert.h"
#include "platform/Localization.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

StoreAlerts::StoreAlerts(QMainWindow* window, QObject* parent) : QObject(parent), m_window(window)
{
}

void StoreAlerts::storeDidFail(const QString& message, const QString& detail)
{
    if (m_closing) {
        m_closingFailures.append({message, detail});
        return;
    }
    // Start-up reads the files before the window shows; a failure that repeats while its
    // sheet is still open is not stacked on it again.
    QTimer::singleShot(0, this, [this, message, detail] {
        for (const Alert* open : m_window->findChildren<Alert*>()) {
            if (open->isVisible() && open->messageText() == message &&
                open->informativeText() == detail)
                return;
        }
        Alert::showSheet(m_window, message, detail, Alert::Warning);
    });
}

bool StoreAlerts::windowMayClose(const std::function<void()>& save)
{
    if (m_closeAnyway)
        return true;
    m_closing = true;
    save();
    m_closing = false;
    const auto failures = std::exchange(m_closingFailures, {});
    if (failures.isEmpty())
        return true;
    QStringList details;
    for (const auto& [message, detail] : failures)
        details << (details.isEmpty() ? detail : message + u'\n' + detail);
    details << localizedString(QT_TRANSLATE_NOOP(
        "Quillmor", "If you quit now, the changes that were not saved are lost."));
    auto* alert = new Alert(m_window);
    alert->addButtonWithTitle(QStringLiteral("Cancel"));
    alert->addButtonWithTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Quit Anyway")));
    alert->setMessageText(failures.first().first);
    alert->setInformativeText(details.join(QStringLiteral("\n\n")));
    alert->beginSheetModalForWindow(m_window, [this](int returnCode) {
        if (returnCode != Alert::SecondButtonReturn)
            return;
        m_closeAnyway = true;
        m_window->close();
    });
    return false;
}
