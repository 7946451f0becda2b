// The launcher program: its command line and the hand-over to a launcher already running, then
// the application, then the window definition, which builds and wakes everything else.

#include "install/Locations.h"
#include "launcher/CommandLine.h"
#include "launcher/InstanceBus.h"
#include "launcher/Launcher.h"
#include "launcher/LevelLinks.h"
#include "launcher/WindowDefinition.h"
#include "platform/InstanceLock.h"
#include "platform/Localization.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>

#include <cstdio>

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillmor Launcher"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMOR_VERSION));
    installTranslations(QLocale::system().uiLanguages(), translationFolders());
}

// One launcher a home: a second one would clean up the first one's download in progress and
// write its own catalogue over the first one's. Where it cannot hand its work to the first, it
// says so and changes nothing.
void refuseSecondCopy()
{
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
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<InstanceLock> lock;
    QList<QUrl> urls;
    bool refused = false;
    {
        // No display yet: help, the version, a wrong argument and the hand-over need none, and
        // a second start shows no window of its own.
        const QCoreApplication starting(argc, argv);
        nameApplication();
        const CommandLine line =
            CommandLine::parse(QCoreApplication::arguments(), QDir::currentPath());
        if (line.action != CommandLine::Run) {
            std::fputs(qPrintable(line.text), line.action == CommandLine::Refuse ? stderr : stdout);
            return line.exitCode();
        }
        urls = line.urls;
        // Before anything reads or cleans up the home's files; held until the program ends.
        const QString home = getApplicationDir().value_or(QString());
        const InstanceBus::Claim claim = InstanceBus::claim(
            home.isEmpty() ? QString() : QDir(home).filePath(QStringLiteral("launcher.lock")), home,
            urls, lock);
        if (claim == InstanceBus::Claim::HandedOver)
            return 0;
        refused = claim == InstanceBus::Claim::Refused;
    }

    QApplication app(argc, argv);
    nameApplication();
    // Wayland desktops match the window to its desktop entry by this name, for its icon too.
    QApplication::setDesktopFileName(QStringLiteral("org.quillmor.Launcher"));
    QApplication::setWindowIcon(WindowDefinition::applicationIcon());
    if (refused) {
        refuseSecondCopy();
        return 1;
    }

    // The translations are in: the window definition's forms, cells and built-in catalogue
    // entries take their texts as they are made.
    WindowDefinition definition;
    definition.load();
    QApplication::setQuitOnLastWindowClosed(
        definition.launcher()->applicationShouldTerminateAfterLastWindowClosed());
    InstanceBus bus(getApplicationDir().value_or(QString()));
    QObject::connect(&bus, &InstanceBus::openRequested, definition.levelLinks(), &LevelLinks::open);
    QObject::connect(&bus, &InstanceBus::activateRequested, definition.levelLinks(),
                     &LevelLinks::activate);
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &bus, &InstanceBus::withdraw);
    definition.window()->show();
    if (!urls.isEmpty())
        definition.levelLinks()->open(urls);
    return app.exec();
}
