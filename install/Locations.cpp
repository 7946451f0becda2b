#include "install/Locations.h"

#include "platform/Workspace.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

const QString kUrlDownload = QStringLiteral("urlDownload");
const QString kUrlInstall = QStringLiteral("urlInstall");
const QString kPubDateRemote = QStringLiteral("pubDateRemote");
const QString kPubDateInstall = QStringLiteral("pubDateInstall");
const QString kExists = QStringLiteral("exists");
const QString kGuid = QStringLiteral("guid");

std::optional<QString> makeLocation(const QString& identifier, const QString& leaf = {})
{
    const auto support = Workspace::applicationSupportDir();
    if (!support || identifier.isEmpty())
        return std::nullopt;
    QString path = QDir(*support).filePath(identifier);
    if (!leaf.isEmpty())
        path = QDir(path).filePath(leaf);
    QDir().mkpath(path);
    return path;
}

} // namespace

std::optional<Bundle> getGameBundle()
{
    const QString identifier =
        Bundle::main().objectForInfoDictionaryKey(QStringLiteral("QuillmorBundleIdentifier")).toString();
    if (identifier.isEmpty())
        return std::nullopt;
    return Workspace::applicationBundle(identifier);
}

std::optional<QString> getApplicationDir()
{
    return makeLocation(Bundle::main().bundleIdentifier());
}

std::optional<QString> getGameLevelDir()
{
    const auto game = getGameBundle();
    if (!game)
        return std::nullopt;
    return makeLocation(game->bundleIdentifier(), QStringLiteral("Levels"));
}

std::optional<QString> getDownloadDir()
{
    return makeLocation(Bundle::main().bundleIdentifier(), QStringLiteral("Download"));
}

QString absoluteString(const QUrl& url)
{
    return url.isValid() ? url.toString(QUrl::FullyEncoded) : QString();
}

QUrl urlForKey(const QVariantMap& record, const QString& key)
{
    const QString text = record.value(key).toString();
    if (text.isEmpty())
        return {};
    const QUrl url(text);
    return url.isValid() ? url : QUrl();
}

InstallState checkInstall(const QVariantMap& entry)
{
    if (!urlForKey(entry, kUrlDownload).isValid())
        return NotDownloadable;
    if (!urlForKey(entry, kUrlInstall).isValid())
        return NotInstalled;
    const QDateTime remote = entry.value(kPubDateRemote).toDateTime();
    const QDateTime installed = entry.value(kPubDateInstall).toDateTime();
    if (remote.isValid() && installed.isValid() && remote > installed)
        return UpdateAvailable;
    return UpToDate;
}

bool canLaunch(const QVariantMap& entry)
{
    if (!entry.value(kUrlInstall).toString().isEmpty())
        return entry.value(kExists).toBool();
    return entry.value(kGuid).toString().isEmpty();
}

QUrl getInstallPathForZip(const QUrl& archive, int number)
{
    const QString fileName = archive.fileName(QUrl::FullyDecoded);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    // A leading dot starts a hidden name, not an extension.
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    if (base.isEmpty() || base == u"." || base == u".." || base.contains(u'/'))
        return {};
    const QString folder = number >= 1 ? base + QString::number(number) : base;
    const auto levelDir = getGameLevelDir();
    if (!levelDir)
        return {};
    return QUrl::fromLocalFile(QDir(*levelDir).filePath(folder) + u'/');
}

bool checkLevelExists(const QUrl& folder)
{
    if (!folder.isLocalFile())
        return false;
    const QFileInfo marker(QDir(folder.toLocalFile()).filePath(QStringLiteral("levellist.dat")));
    return marker.exists();
}

bool moveToTrash(const QUrl& item)
{
    if (!item.isLocalFile())
        return false;
    QString path = item.toLocalFile();
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    if (Workspace::recycle(path))
        return true;
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}
