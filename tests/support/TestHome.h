#pragma once

// A temporary home for one test case: $HOME, $XDG_DATA_HOME, $XDG_CONFIG_HOME,
// $XDG_DATA_DIRS and $XDG_CACHE_HOME point into a fresh folder that is removed afterwards,
// QUILLMOR_LAUNCHER_INFO_PLIST is cleared and retries wait 20 ms. Nothing reaches the real home.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

class TestHome
{
public:
    TestHome();
    ~TestHome();

    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }
    QString dataHome() const { return filePath(QStringLiteral("data")); }

    // Writes a file (and its folders); a valid mtime sets its modification date. Relative
    // paths are in the home, absolute ones stay.
    QString createFile(const QString& relative, const QByteArray& data = {},
                       const QDateTime& mtime = {});
    QString createDir(const QString& relative);

    // Installs the stand-in game's desktop entry in $XDG_DATA_HOME/applications. The entry
    // runs `program`, the built stand-in game by default. Returns the game level directory's
    // path.
    QString installGame(const QString& program = {});
    QString gameLevelDir() const { return dataHome() + "/org.quillmor.Quillmor/Levels"; }
    QString applicationDir() const { return dataHome() + "/org.quillmor.Launcher"; }
    // A level folder in the game level directory, holding "levellist.dat" and a file.
    QString createLevel(const QString& name, const QDateTime& mtime = {});
    // The game level directory's folders, hidden ones too, ", " apart: "(new)" marks one
    // holding "new.map" (as the tests' level archives do), "(old)" one still holding the map
    // createLevel() put there.
    QString levelFolders() const;
    // The names in the home's Trash, space apart.
    QString trashed() const;
    // Replaces the launcher's Info.plist with the given dictionary.
    void setInfoPlist(const QVariantMap& info);
    // Writes the catalogue file from a list of entries.
    void writeCatalogue(const QVariantList& entries);
    QString cataloguePath() const { return applicationDir() + "/database.plist"; }

private:
    QTemporaryDir m_dir;
    QList<std::pair<const char*, QByteArray>> m_saved; // each variable with its value before
};
