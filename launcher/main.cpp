// The launcher program: the application, then the window definition, which builds and
// wakes everything else.

#include "launcher/Launcher.h"
#include "launcher/WindowDefinition.h"
#include "platform/Localization.h"

#include <QApplication>
#include <QLocale>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmor Launcher"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMOR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.quillmor.Launcher"));
    // Before the window definition: its forms, cells and built-in catalogue entries take
    // their texts as they are made.
    installTranslations(QLocale::system().uiLanguages(), translationFolders());

    WindowDefinition definition;
    definition.load();
    QApplication::setQuitOnLastWindowClosed(
        definition.launcher()->applicationShouldTerminateAfterLastWindowClosed());
    definition.window()->show();
    return app.exec();
}
