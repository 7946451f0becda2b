#include "tests/support/TestHome.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <utime.h>

namespace {

const char* const kVariables[7] = {"HOME",           "XDG_DATA_HOME",   "XDG_CONFIG_HOME",
                                   "XDG_DATA_DIRS",  "XDG_CACHE_HOME",  "QUILLMOR_LAUNCHER_INFO_PLIST",
                                   "QUILLMOR_GAME_LOG"};

void setMtime(const QString& path, const QDateTime& mtime)
{
    if (!mtime.isValid())
        return;
    struct utimbuf times;
    times.actime = times.modtime = time_t(mtime.toSecsSinceEpoch());
    utime(QFile::encodeName(path).constData(), &times);
}

} // namespace

TestHome::TestHome()
{
    for (int i = 0; i < 7; ++i)
        m_saved[i] = qgetenv(kVariables[i]);
    QDir(path()).mkpath(QStringLiteral("home"));
    QDir(path()).mkpath(QStringLiteral("system"));
    qputenv("HOME", QFile::encodeName(filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dataDirs()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(filePath(QStringLiteral("cache"))));
    qunsetenv("QUILLMOR_LAUNCHER_INFO_PLIST");
    qunsetenv("QUILLMOR_GAME_LOG");
}

TestHome::~TestHome()
{
    for (int i = 0; i < 7; ++i) {
        if (m_saved[i].isNull())
            qunsetenv(kVariables[i]);
        else
            qputenv(kVariables[i], m_saved[i]);
    }
}

QString TestHome::createFile(const QString& relative, const QByteArray& data,
                             const QDateTime& mtime)
{
    const QString target = QDir::isAbsolutePath(relative) ? relative : filePath(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
    file.close();
    setMtime(target, mtime);
    return target;
}

QString TestHome::createDir(const QString& relative, const QDateTime& mtime)
{
    const QString target = QDir::isAbsolutePath(relative) ? relative : filePath(relative);
    QDir().mkpath(target);
    setMtime(target, mtime);
    return target;
}

QString TestHome::builtGamePath()
{
    const QByteArray buildDir = qgetenv("QUILLMOR_BUILD_DIR");
    if (!buildDir.isEmpty())
        return QFile::decodeName(buildDir) + QStringLiteral("/demo/quillmor-game");
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../../demo/quillmor-game");
}

QString TestHome::installGame(const QString& program, bool systemWide)
{
    const QString exec = program.isEmpty() ? builtGamePath() : program;
    const QString folder = systemWide ? dataDirs() : dataHome();
    createFile(folder + QStringLiteral("/applications/org.quillmor.Quillmor.desktop"),
               "[Desktop Entry]\nType=Application\nName=Quillmor\nExec=\"" +
                   QFile::encodeName(exec) + "\" %U\n");
    return gameLevelDir();
}

QString TestHome::gameLevelDir() const
{
    return dataHome() + QStringLiteral("/org.quillmor.Quillmor/Levels");
}

QString TestHome::applicationDir() const
{
    return dataHome() + QStringLiteral("/org.quillmor.Launcher");
}

QString TestHome::cataloguePath() const
{
    return applicationDir() + QStringLiteral("/database.plist");
}

QString TestHome::createLevel(const QString& name, const QDateTime& mtime)
{
    const QString folder = gameLevelDir() + u'/' + name;
    createFile(folder + QStringLiteral("/levellist.dat"), "level\n");
    createFile(folder + QStringLiteral("/map.dat"), "map\n");
    setMtime(folder, mtime);
    return folder;
}

void TestHome::setInfoPlist(const QVariantMap& info)
{
    const QString target = filePath(QStringLiteral("Info.plist"));
    PropertyList::writeFile(target, info);
    qputenv("QUILLMOR_LAUNCHER_INFO_PLIST", QFile::encodeName(target));
}

void TestHome::writeCatalogue(const QVariantList& entries)
{
    PropertyList::writeFile(cataloguePath(), entries);
}
