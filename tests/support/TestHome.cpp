#include "tests/support/TestHome.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <utime.h>

// Sets a file's or folder's modification date when mtime is valid; returns the path.
static QString touch(const QString& target, const QDateTime& mtime)
{
    const utimbuf times{time_t(mtime.toSecsSinceEpoch()), time_t(mtime.toSecsSinceEpoch())};
    if (mtime.isValid())
        utime(QFile::encodeName(target).constData(), &times);
    return target;
}

TestHome::TestHome()
{
    // HOME, the XDG folders the launcher reads, and the two variables a test may set itself.
    // A transfer tried again waits milliseconds, not seconds.
    const std::pair<const char*, QString> variables[] = {{"HOME", createDir("home")},
                                                         {"XDG_DATA_HOME", dataHome()},
                                                         {"XDG_CONFIG_HOME", filePath("config")},
                                                         {"XDG_DATA_DIRS", createDir("system")},
                                                         {"XDG_CACHE_HOME", filePath("cache")},
                                                         {"QUILLMOR_LAUNCHER_INFO_PLIST", {}},
                                                         {"QUILLMOR_GAME_LOG", {}},
                                                         {"QUILLMOR_TRANSFER_RETRY_MS", "20"}};
    for (const auto& [name, value] : variables) {
        m_saved.append({name, qgetenv(name)});
        value.isNull() ? qunsetenv(name) : qputenv(name, QFile::encodeName(value));
    }
}

TestHome::~TestHome()
{
    for (const auto& [name, value] : m_saved) // null for a variable that was not set
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}

QString TestHome::createFile(const QString& relative, const QByteArray& data,
                             const QDateTime& mtime)
{
    const QString target = QDir(m_dir.path()).filePath(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
    file.close();
    return touch(target, mtime);
}

QString TestHome::createDir(const QString& relative)
{
    const QString target = QDir(m_dir.path()).filePath(relative);
    QDir().mkpath(target);
    return target;
}

QString TestHome::installGame(const QString& program)
{
    const QString built = qEnvironmentVariable("QUILLMOR_BUILD_DIR",
                                               QCoreApplication::applicationDirPath() + "/../..") +
                          "/demo/quillmor-game";
    createFile(dataHome() + "/applications/org.quillmor.Quillmor.desktop",
               "[Desktop Entry]\nType=Application\nName=Quillmor\nExec=\"" +
                   QFile::encodeName(program.isEmpty() ? built : program) + "\" %U\n");
    return gameLevelDir();
}

QString TestHome::createLevel(const QString& name, const QDateTime& mtime)
{
    const QString folder = gameLevelDir() + u'/' + name;
    createFile(folder + "/levellist.dat", "level\n");
    createFile(folder + "/map.dat", "map\n");
    return touch(folder, mtime);
}

QString TestHome::levelFolders() const
{
    const QDir dir(gameLevelDir());
    QStringList folders = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (QString& folder : folders)
        folder += QString(QFile::exists(dir.filePath(folder + "/new.map")) ? " (new)" : "") +
                  (QFile::exists(dir.filePath(folder + "/map.dat")) ? " (old)" : "");
    return folders.join(u", ");
}

QString TestHome::trashed() const
{
    return QDir(dataHome() + "/Trash/files")
        .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
        .join(u' ');
}

void TestHome::setInfoPlist(const QVariantMap& info)
{
    PropertyList::writeFile(filePath("Info.plist"), info);
    qputenv("QUILLMOR_LAUNCHER_INFO_PLIST", QFile::encodeName(filePath("Info.plist")));
}

void TestHome::writeCatalogue(const QVariantList& entries)
{
    PropertyList::writeFile(cataloguePath(), entries);
}
