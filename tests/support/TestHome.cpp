#include "tests/support/TestHome.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
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
    const std::pair<const char*, QString> variables[] = {{"HOME", createDir("home")},
                                                         {"XDG_DATA_HOME", dataHome()},
                                                         {"XDG_CONFIG_HOME", filePath("config")},
                                                         {"XDG_DATA_DIRS", createDir("system")},
                                                         {"XDG_CACHE_HOME", filePath("cache")},
                                                         {"QUILLMOR_LAUNCHER_INFO_PLIST", {}},
                                                         {"QUILLMOR_GAME_LOG", {}}};
    for (const auto& [name, value] : variables) {
        m_saved.append({name, qgetenv(name)});
        value.isNull() ? qunsetenv(name) : qputenv(name, QFile::encodeName(value));
    }
}

TestHome::~TestHome()
{
    for (const QString& folder : std::as_const(m_mounts))
        umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
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

QString TestHome::mountFullDisk(const QString& folder)
{
    QList<std::pair<QString, QByteArray>> files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            files.append({info.fileName(), file.readAll()});
    }
    QDir().mkpath(folder);
    const QByteArray target = QFile::encodeName(folder);
    if (mount("tmpfs", target.constData(), "tmpfs", 0, "size=64k") != 0)
        return QStringLiteral("no small filesystem can be mounted here: ") + strerror(errno);
    m_mounts.append(folder);
    for (const auto& [name, data] : std::as_const(files))
        createFile(folder + u'/' + name, data);
    // Down to single bytes, so that not even the last page has room left.
    const int fd =
        open(QFile::encodeName(folder + "/filler").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const QByteArray block(4096, 'f');
    for (qsizetype size = block.size(); fd >= 0 && size > 0; size /= 2) {
        while (write(fd, block.constData(), size_t(size)) == size) {
        }
    }
    if (fd >= 0)
        close(fd);
    return fd < 0 ? QStringLiteral("the small filesystem cannot be filled") : QString();
}
