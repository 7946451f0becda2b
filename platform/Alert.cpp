#include "platform/Alert.h"

#include "platform/Localization.h"

#include <QAbstractButton>
#include <QPushButton>

Alert::Alert(QWidget* parent) : QMessageBox(parent)
{
    setTextFormat(Qt::PlainText);
    setIcon(QMessageBox::Warning);
}

QAbstractButton* Alert::addButtonWithTitle(const QString& title)
{
    const bool first = m_buttons.isEmpty();
    const bool cancel = title == QStringLiteral("Cancel");
    // The two titles every sheet shares are spoken in the player's language, like the rest.
    QString shown = title;
    if (cancel)
        shown = localizedString(QT_TRANSLATE_NOOP("Quillmor", "Cancel"));
    else if (title == QStringLiteral("OK"))
        shown = localizedString(QT_TRANSLATE_NOOP("Quillmor", "OK"));
    QPushButton* button =
        addButton(shown, cancel ? QMessageBox::RejectRole
                                : (first ? QMessageBox::AcceptRole : QMessageBox::ActionRole));
    m_buttons.append(button);
    if (first)
        setDefaultButton(button);
    if (cancel || m_buttons.size() == 1)
        setEscapeButton(button);
    return button;
}

void Alert::setAlertStyle(AlertStyle style)
{
    m_style = style;
    setIcon(style == Critical
                ? QMessageBox::Critical
                : (style == Informational ? QMessageBox::Information : QMessageBox::Warning));
}

int Alert::returnCodeFor(QAbstractButton* button) const
{
    const qsizetype index = m_buttons.indexOf(button);
    return index < 0 ? 0 : FirstButtonReturn + int(index);
}

void Alert::beginSheetModalForWindow(QWidget* window, std::function<void(int)> didEnd)
{
    if (m_buttons.isEmpty())
        addButtonWithTitle(QStringLiteral("OK"));
    if (window && parentWidget() != window)
        setParent(window, windowFlags());
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(this, &QMessageBox::finished, this, [this, didEnd = std::move(didEnd)](int) {
        const int code = returnCodeFor(clickedButton());
        if (didEnd)
            didEnd(code);
        deleteLater();
    });
    open();
}

void Alert::showSheet(QWidget* window, const QString& message, const QString& detail,
                      AlertStyle style)
{
    auto* alert = new Alert(window);
    alert->setMessageText(message);
    alert->setInformativeText(detail);
    alert->setAlertStyle(style);
    alert->beginSheetModalForWindow(window);
}
