#include "tests/support/TestHome.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <utime.h>

namespace {

// HOME, the XDG folders the launcher reads, and the two variables a test may set itself.
const QByteArrayList kVariables =
    QByteArray("HOME XDG_DATA_HOME XDG_CONFIG_HOME XDG_DATA_DIRS XDG_CACHE_HOME "
               "QUILLMOR_LAUNCHER_INFO_PLIST QUILLMOR_GAME_LOG")
        .split(' ');

// Sets each variable to its value, or unsets it for a null one.
void setVariables(const QByteArray (&values)[7])
{
    for (int i = 0; i < 7; ++i)
        values[i].isNull() ? qunsetenv(kVariables[i].constData())
                           : qputenv(kVariables[i].constData(), values[i]);
}

// Creates a file or folder (and the folders above it); a valid mtime sets its modification date.
QString create(const QString& target, const QByteArray* data, const QDateTime& mtime)
{
    QDir().mkpath(data ? QFileInfo(target).absolutePath() : target);
    QFile file(target);
    if (data && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(*data);
    file.close();
    const utimbuf times{time_t(mtime.toSecsSinceEpoch()), time_t(mtime.toSecsSinceEpoch())};
    if (mtime.isValid())
        utime(QFile::encodeName(target).constData(), &times);
    return target;
}

} // namespace

TestHome::TestHome()
{
    for (int i = 0; i < 7; ++i)
        m_saved[i] = qgetenv(kVariables[i]);
    for (const char* folder : {"home", "system"})
        QDir(path()).mkpath(folder);
    setVariables({QFile::encodeName(filePath("home")), QFile::encodeName(dataHome()),
                  QFile::encodeName(configHome()), QFile::encodeName(dataDirs()),
                  QFile::encodeName(filePath("cache")), QByteArray(), QByteArray()});
}

TestHome::~TestHome()
{
    setVariables(m_saved);
}

QString TestHome::createFile(const QString& relative, const QByteArray& data,
                             const QDateTime& mtime)
{
    return create(QDir(path()).filePath(relative), &data, mtime); // absolute paths stay
}

QString TestHome::createDir(const QString& relative, const QDateTime& mtime)
{
    return create(QDir(path()).filePath(relative), nullptr, mtime);
}

QString TestHome::builtGamePath()
{
    const QByteArray buildDir = qgetenv("QUILLMOR_BUILD_DIR");
    if (!buildDir.isEmpty())
        return QFile::decodeName(buildDir) + "/demo/quillmor-game";
    return QCoreApplication::applicationDirPath() + "/../../demo/quillmor-game";
}

QString TestHome::installGame(const QString& program, bool systemWide)
{
    const QString exec = program.isEmpty() ? builtGamePath() : program;
    createFile((systemWide ? dataDirs() : dataHome()) +
                   "/applications/org.quillmor.Quillmor.desktop",
               "[Desktop Entry]\nType=Application\nName=Quillmor\nExec=\"" +
                   QFile::encodeName(exec) + "\" %U\n");
    return gameLevelDir();
}

QString TestHome::gameLevelDir() const
{
    return dataHome() + "/org.quillmor.Quillmor/Levels";
}

QString TestHome::applicationDir() const
{
    return dataHome() + "/org.quillmor.Launcher";
}

QString TestHome::cataloguePath() const
{
    return applicationDir() + "/database.plist";
}

QString TestHome::createLevel(const QString& name, const QDateTime& mtime)
{
    const QString folder = gameLevelDir() + u'/' + name;
    createFile(folder + "/levellist.dat", "level\n");
    createFile(folder + "/map.dat", "map\n");
    return createDir(folder, mtime);
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
