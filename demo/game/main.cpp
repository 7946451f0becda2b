// A stand-in for the game. It honours the game's command line: no arguments plays the
// built-in level, "custom <folder>" plays the level in that folder of the game level
// directory. The window says which level it was started with and lists the folder's files.
//
// QUILLMOR_GAME_LOG, when set, names a file that gets one line with the arguments.
// QUILLMOR_GAME_QUIT_AFTER, when set, closes the game after that many milliseconds.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QString levelDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/org.quillmor.Quillmor/Levels");
}

void logArguments(const QStringList& args)
{
    const QString logPath = qEnvironmentVariable("QUILLMOR_GAME_LOG");
    if (logPath.isEmpty())
        return;
    QFile log(logPath);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(args.join(u' ').toUtf8() + '\n');
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Quillmor"));
    const QStringList args = app.arguments().mid(1);
    logArguments(args);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Quillmor"));
    auto* layout = new QVBoxLayout(&window);
    auto* title = new QLabel(&window);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title);
    auto* files = new QListWidget(&window);

    if (args.isEmpty()) {
        title->setText(QStringLiteral("Playing the built-in level"));
        files->addItem(QStringLiteral("(built into the game)"));
    } else if (args.size() == 2 && args[0] == u"custom") {
        const QDir folder(QDir(levelDir()).filePath(args[1]));
        title->setText(QStringLiteral("Playing level \"%1\"").arg(args[1]));
        if (!folder.exists())
            files->addItem(QStringLiteral("The folder %1 does not exist.").arg(folder.path()));
        for (const QString& name : folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                    QDir::Name))
            files->addItem(name);
    } else {
        title->setText(QStringLiteral("Unknown command line: %1").arg(args.join(u' ')));
    }
    layout->addWidget(new QLabel(QStringLiteral("Level folder: %1").arg(levelDir()), &window));
    layout->addWidget(files);
    window.resize(520, 360);
    window.show();

    bool ok = false;
    const int quitAfter = qEnvironmentVariableIntValue("QUILLMOR_GAME_QUIT_AFTER", &ok);
    if (ok)
        QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    return app.exec();
}
