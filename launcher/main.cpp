// The launcher program: the application, then the window definition, which builds and
// wakes everything else.

#include "install/Locations.h"
#include "launcher/Launcher.h"
#include "launcher/WindowDefinition.h"
#include "platform/InstanceLock.h"
#include "platform/Localization.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>

#include <cstdio>

namespace {

// One launcher a home: a second one would clean up the first one's download in progress and
// write its own catalogue over the first one's. It says so and changes nothing.
bool refuseSecondCopy(const InstanceLock& lock)
{
    if (!lock.isHeldElsewhere())
        return false;
    const QString message =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Quillmor Launcher is already running."));
    const QString detail = localizedString(QT_TRANSLATE_NOOP(
        "Quillmor", "Another copy of the launcher keeps the levels of this home. Switch to its "
                    "window, or quit it before starting the launcher again."));
    std::fprintf(stderr, "%s %s\n", qPrintable(message), qPrintable(detail));
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), message,
                    QMessageBox::Ok);
    box.setInformativeText(detail);
    box.exec();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmor Launcher"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMOR_VERSION));
    // Wayland desktops match the window to its desktop entry by this name, for its icon too.
    QApplication::setDesktopFileName(QStringLiteral("org.quillmor.Launcher"));
    QApplication::setWindowIcon(WindowDefinition::applicationIcon());
    // Before the window definition: its forms, cells and built-in catalogue entries take
    // their texts as they are made.
    installTranslations(QLocale::system().uiLanguages(), translationFolders());

    // Before anything reads or cleans up the home's files; held until the program ends.
    const auto applicationDir = getApplicationDir();
    const InstanceLock lock(applicationDir
                                ? QDir(*applicationDir).filePath(QStringLiteral("launcher.lock"))
                                : QString());
    if (refuseSecondCopy(lock))
        return 1;

    WindowDefinition definition;
    definition.load();
    QApplication::setQuitOnLastWindowClosed(
        definition.launcher()->applicationShouldTerminateAfterLastWindowClosed());
    definition.window()->show();
    return app.exec();
}
