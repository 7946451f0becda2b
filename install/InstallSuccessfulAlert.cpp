#include "install/Locations.h"

#include "platform/Alert.h"
#include "platform/Localization.h"

void showInstallSuccessfulAlert(QWidget* window, const QString& name, std::function<void()> play)
{
    auto* alert = new Alert(window);
    alert->addButtonWithTitle(QStringLiteral("OK"));
    if (play)
        alert->addButtonWithTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Play")));
    alert->setMessageText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "New level installed!")));
    alert->setInformativeText(
        localizedString(
            QT_TRANSLATE_NOOP("Quillmor",
                              "The level \"%1\" was installed and added to the launch menu."))
            .arg(name));
    alert->setAlertStyle(Alert::Informational);
    alert->beginSheetModalForWindow(window, [play = std::move(play)](int returnCode) {
        if (play && returnCode == Alert::SecondButtonReturn)
            play();
    });
}
