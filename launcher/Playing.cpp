#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QTableView>

namespace {

const QString kGameIdentifierKey = QStringLiteral("QuillmorBundleIdentifier");

// The level folder's own name: the last component of its path, without the trailing slash.
QString folderName(const QUrl& folder)
{
    return QFileInfo(QDir::cleanPath(folder.toLocalFile())).fileName();
}

// Where the game's desktop entry was looked for, for a message a person can act on.
QString searchedPlaces()
{
    const QString identifier =
        Bundle::main().objectForInfoDictionaryKey(kGameIdentifierKey).toString();
    QStringList lines{
        localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                          "The launcher looks for the game's desktop entry %1 in "
                                          "these folders:"))
            .arg(identifier + QStringLiteral(".desktop"))};
    for (const QString& folder : Workspace::applicationFolders())
        lines.append(QDir::toNativeSeparators(folder));
    return lines.join(u'\n');
}

// Swallows the player's input to the launcher while the game runs. The event loop that
// waits for the game holds input back rather than dropping it; without this a click made
// meanwhile would land once the game ends and could start it again.
class InputBlocker : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

void Launcher::launchQuillmor(QObject*)
{
    const QModelIndexList selected = m_levelTable->selectionModel()->selectedRows();
    if (!selected.isEmpty())
        playLevelAtRow(selected.first().row());
}

void Launcher::playLevel(QObject*)
{
    playLevelAtRow(commandRow());
}

void Launcher::playLevelAtRow(int row)
{
    // A second request while the game runs (a transfer's completion, say) starts nothing.
    if (m_playing || row < 0 || row >= numberOfRowsInTableView())
        return;

    LevelEntry entry = m_database->objectAtIndex(row);
    const QString path = entry.value(LevelKey::urlInstall).toString();
    // A feed's level that is not installed has nothing to play; it is not the built-in level.
    if (path.isEmpty() && !LevelIdentity::of(entry).isBuiltIn())
        return;
    m_lauchQuillmorButton->setEnabled(false);
    QStringList arguments;
    if (!path.isEmpty()) {
        const QUrl url(path);
        const bool present = checkLevelExists(url);
        entry.insert(LevelKey::exists, present);
        m_database->replaceObjectAtIndex(row, entry);
        if (!present) {
            reloadLevelTable(m_levelTable);
            m_lauchQuillmorButton->setEnabled(canLaunch(entry));
            showAlert(localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level is missing!")),
                      localizedString(QT_TRANSLATE_NOOP(
                          "Quillmor", "The level doesn't seem to be available where it used to "
                                      "be. It may have been deleted or renamed.")),
                      Alert::Informational);
            return;
        }
        arguments = {QStringLiteral("custom"), folderName(url)};
    }

    const auto game = getGameBundle();
    if (!game || game->executablePath().isEmpty()) {
        m_lauchQuillmorButton->setEnabled(canLaunch(entry));
        showAlert(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Quillmor was not found.")),
                  searchedPlaces(), Alert::Warning);
        return;
    }

    // The game shares the launcher's terminal, environment and working directory.
    QProcess gameProcess;
    gameProcess.setObjectName(QStringLiteral("game"));
    gameProcess.setParent(this);
    gameProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    gameProcess.setInputChannelMode(QProcess::ForwardedInputChannel);
    // The window keeps repainting while the game runs, but takes no input: nothing the
    // player does here can start a second game or change the catalogue under the first.
    QEventLoop waiting;
    bool failed = false;
    // Only a game that started makes this the level to select at the next start.
    connect(&gameProcess, &QProcess::started, this,
            [path] { UserDefaults::standard().setObject(path, QStringLiteral("lastSelection")); });
    connect(&gameProcess, &QProcess::finished, &waiting, &QEventLoop::quit);
    connect(&gameProcess, &QProcess::errorOccurred, &waiting, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        failed = true;
        waiting.quit();
    });
    m_playing = true;
    {
        InputBlocker blocker;
        qApp->installEventFilter(&blocker);
        // A wrapper's own words (flatpak run ID, env X=1 game) come before the level's.
        gameProcess.start(game->executablePath(), game->arguments() + arguments);
        if (!failed && gameProcess.state() != QProcess::NotRunning)
            waiting.exec(QEventLoop::ExcludeUserInputEvents);
        // What was held back arrives now, into the blocker.
        QCoreApplication::processEvents();
        qApp->removeEventFilter(&blocker);
    }
    gameProcess.setParent(nullptr);
    m_playing = false;

    // The catalogue may have been re-sorted by a refresh that ended meanwhile.
    m_lauchQuillmorButton->setEnabled(canLaunch(entry));
    if (failed) {
        showAlert(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Quillmor could not be started.")),
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The program %1 did not start (%2)."))
                    .arg(QDir::toNativeSeparators(game->executablePath()),
                         gameProcess.errorString()) +
                u'\n' + localizedString(QT_TRANSLATE_NOOP("Quillmor", "It was found through:")) +
                u'\n' + QDir::toNativeSeparators(game->bundlePath()),
            Alert::Warning);
    }
}
