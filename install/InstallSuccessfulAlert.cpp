#include "install/Locations.h"

#include "platform/Alert.h"
#include "platform/Localization.h"

void showInstallSuccessfulAlert(QWidget* window, const QString& name)
{
    auto* alert = new Alert(window);
    alert->addButtonWithTitle(QStringLiteral("OK"));
    alert->setMessageText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "New level installed!")));
    alert->setInformativeText(
        localizedString(
            QT_TRANSLATE_NOOP("Quillmor",
                              "The level \"%1\" was installed and added to the launch menu."))
            .arg(name));
    alert->setAlertStyle(Alert::Informational);
    alert->beginSheetModalForWindow(window);
}
