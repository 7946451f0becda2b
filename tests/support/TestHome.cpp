#include "tests/support/TestHome.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <utime.h>

namespace {

// HOME, the XDG folders the launcher reads, and the two variables a test may set itself.
const QByteArrayList kVariables = QByteArray("HOME XDG_DATA_HOME XDG_CONFIG_HOME XDG_DATA_DIRS "
                                             "XDG_CACHE_HOME QUILLMOR_LAUNCHER_INFO_PLIST "
                                             "QUILLMOR_GAME_LOG")
                                      .split(' ');

// Sets each variable to its value, or unsets it for a null one.
void setVariables(const QByteArray (&values)[7])
{
    for (int i = 0; i < 7; ++i)
        values[i].isNull() ? qunsetenv(kVariables[i].constData())
                           : qputenv(kVariables[i].constData(), values[i]);
}

} // namespace

TestHome::TestHome()
{
    for (int i = 0; i < 7; ++i)
        m_saved[i] = qgetenv(kVariables[i].constData());
    createDir("home");
    createDir("system");
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
    const QString target = QDir(path()).filePath(relative); // absolute paths stay
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
    file.close();
    return touch(target, mtime);
}

QString TestHome::createDir(const QString& relative, const QDateTime& mtime)
{
    const QString target = QDir(path()).filePath(relative);
    QDir().mkpath(target);
    return touch(target, mtime);
}

QString TestHome::touch(const QString& target, const QDateTime& mtime)
{
    const utimbuf times{time_t(mtime.toSecsSinceEpoch()), time_t(mtime.toSecsSinceEpoch())};
    if (mtime.isValid())
        utime(QFile::encodeName(target).constData(), &times);
    return target;
}

QString TestHome::builtGamePath()
{
    const QByteArray buildDir = qgetenv("QUILLMOR_BUILD_DIR");
    return buildDir.isEmpty() ? QCoreApplication::applicationDirPath() + "/../../demo/quillmor-game"
                              : QFile::decodeName(buildDir) + "/demo/quillmor-game";
}

QString TestHome::installGame(const QString& program, bool systemWide)
{
    createFile((systemWide ? dataDirs() : dataHome()) +
                   "/applications/org.quillmor.Quillmor.desktop",
               "[Desktop Entry]\nType=Application\nName=Quillmor\nExec=\"" +
                   QFile::encodeName(program.isEmpty() ? builtGamePath() : program) + "\" %U\n");
    return gameLevelDir();
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
