#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "flows/GameRun.h"
#include "install/Locations.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
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

} // namespace

bool Launcher::isPlaying() const
{
    return m_gameRun;
}

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
    if (m_gameRun || row < 0 || row >= numberOfRowsInTableView())
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
        const bool changed = entry.value(LevelKey::exists).toBool() != present;
        entry.insert(LevelKey::exists, present);
        m_database->replaceObjectAtIndex(row, entry);
        // The table shows the rows it was handed: a level found gone, or back, is shown anew.
        if (changed)
            reloadLevelTable(m_levelTable);
        if (!present) {
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

    // While the game runs the window takes no input, though it goes on repainting: nothing
    // done here can start a second game or change the catalogue under the first.
    auto* run = new GameRun(game->executablePath(), game->arguments() + arguments, this);
    m_gameRun = run;
    // Only a game that started makes this the level to select at the next start.
    connect(run, &GameRun::started, this,
            [path] { UserDefaults::standard().setObject(path, QStringLiteral("lastSelection")); });
    connect(
        run, &Job::finished, this,
        [this, run, entry, foundAt = game->bundlePath()](const Outcome& outcome) {
            run->deleteLater();
            m_gameRun = nullptr;
            m_window->setEnabled(true);
            m_levelTable->setFocus();
            // The catalogue may have been re-sorted by a refresh that ended meanwhile.
            m_lauchQuillmorButton->setEnabled(canLaunch(entry));
            if (outcome.succeeded())
                return;
            showAlert(
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "Quillmor could not be started.")),
                outcome.reason + u'\n' +
                    localizedString(QT_TRANSLATE_NOOP("Quillmor", "It was found through:")) +
                    u'\n' + QDir::toNativeSeparators(foundAt),
                Alert::Warning);
        });
    m_window->setEnabled(false);
    run->start();
}
