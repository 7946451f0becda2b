// One level installed through the launcher window, in the home the environment names, from
// the text feed whose URL is the first argument: once the start-up refresh has brought the
// level in, its download, digest, unpacking and swap into place are timed up to the success
// sheet. A timer on the event loop meanwhile notes the longest gap between its ticks.
// Prints "install <s>" and "stall <ms>"; exits 1 when the install did not succeed.

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "launcher/Launcher.h"
#include "launcher/WindowDefinition.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <optional>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_install FEED-URL\n");
        return 2;
    }
    UserDefaults::standard().setObject(
        QVariantList{QVariantMap{{QStringLiteral("urlDownload"), QString::fromLocal8Bit(argv[1])},
                                 {QStringLiteral("format"), QStringLiteral("txt")}}},
        QStringLiteral("source"));
    WindowDefinition definition;
    definition.load();
    definition.window()->show();
    Launcher* launcher = definition.launcher();

    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    bool installing = false;
    int result = 1;
    QTimer ticks;
    ticks.setInterval(2);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        if (installing)
            longestStall = std::max(longestStall, sinceTick.elapsed());
        sinceTick.restart();
        if (!installing) {
            Database* database = launcher->database();
            for (qsizetype index = 0; index < database->count(); ++index) {
                const LevelEntry entry = database->objectAtIndex(index);
                if (!urlForKey(entry, QStringLiteral("urlDownload")).isValid())
                    continue;
                installing = true;
                clock.start();
                launcher->downloadLevel(entry);
                return;
            }
        } else if (auto* sheet = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            const double seconds = clock.nsecsElapsed() / 1e9;
            std::printf("install %.4f\nstall %lld\n", seconds, longestStall);
            if (sheet->text() == QStringLiteral("New level installed!"))
                result = 0;
            else
                std::fprintf(stderr, "%s\n%s\n", qPrintable(sheet->text()),
                             qPrintable(sheet->informativeText()));
            app.quit();
        }
    });
    sinceTick.start();
    ticks.start();
    app.exec();
    return result;
}
