#include "install/Locations.h"

#include "platform/Workspace.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The Trash's record of an item: the place it came from, percent-encoded, and when it went.
QByteArray trashInfo(const QByteArray& place)
{
    return "[Trash Info]\nPath=" + place.toPercentEncoding("/") + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
           '\n';
}

enum class Trashed
{
    Moved,
    OtherFilesystem,
    Failed,
};

// Into the home Trash by a rename, with a record written by hand: QFile::moveToTrash would
// record where the item is now.
Trashed moveToHomeTrash(const QString& path, const QString& place)
{
    const auto home = Workspace::applicationSupportDir();
    if (!home)
        return Trashed::Failed;
    const QString files = *home + QStringLiteral("/Trash/files");
    const QString info = *home + QStringLiteral("/Trash/info");
    if (!QDir().mkpath(files) || !QDir().mkpath(info))
        return Trashed::Failed;
    const QByteArray from = QFile::encodeName(path);
    struct stat item, trash;
    if (::lstat(from.constData(), &item) != 0 ||
        ::stat(QFile::encodeName(files).constData(), &trash) != 0)
        return Trashed::Failed;
    if (item.st_dev != trash.st_dev)
        return Trashed::OtherFilesystem;
    const QByteArray record = trashInfo(QFile::encodeName(place));
    const QString base = QFileInfo(place).fileName();
    for (int number = 1; number < 1000; ++number) {
        const QString name = number == 1 ? base : base + u'.' + QString::number(number);
        const QByteArray infoPath = QFile::encodeName(info + u'/' + name + ".trashinfo");
        const QByteArray target = QFile::encodeName(files + u'/' + name);
        // The record claims the name, so it is made first and only where none is.
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return Trashed::Failed;
        const bool written =
            ::write(fd, record.constData(), size_t(record.size())) == record.size();
        const bool recorded = ::close(fd) == 0 && written;
        struct stat taken;
        const bool free = recorded && ::lstat(target.constData(), &taken) != 0 && errno == ENOENT;
        if (free && ::rename(from.constData(), target.constData()) == 0)
            return Trashed::Moved;
        ::unlink(infoPath.constData());
        if (!recorded || free)
            return Trashed::Failed;
    }
    return Trashed::Failed;
}

// Qt's Trash for the item's own filesystem (a top-directory Trash), with its record then
// pointed at the place. The home Trash exists by now, so Qt never falls back to the current
// folder.
bool moveToOtherTrash(const QString& path, const QString& place)
{
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return false;
    const QFileInfo trashed(inTrash);
    QFile file(trashed.dir().filePath(QStringLiteral("../info/") + trashed.fileName() +
                                      QStringLiteral(".trashinfo")));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    for (QByteArray& line : lines) {
        if (!line.startsWith("Path="))
            continue;
        const QByteArray was = QByteArray::fromPercentEncoding(line.mid(5));
        QByteArray now = QFile::encodeName(place);
        // A top-directory Trash names the item from the top of its filesystem.
        const QByteArray item = QFile::encodeName(path);
        if (!was.startsWith('/') && item.endsWith('/' + was))
            now = QFile::encodeName(
                QDir(QFile::decodeName(item.chopped(was.size()))).relativeFilePath(place));
        line = "Path=" + now.toPercentEncoding("/");
    }
    QSaveFile save(file.fileName());
    if (save.open(QIODevice::WriteOnly)) {
        save.write(lines.join('\n'));
        save.commit();
    }
    return true;
}

} // namespace

std::optional<Bundle> getGameBundle()
{
    const QString identifier =
        Bundle::main()
            .objectForInfoDictionaryKey(QStringLiteral("QuillmorBundleIdentifier"))
            .toString();
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

namespace {

// A set of ASCII characters: the digits, the lower-case letters, the upper-case ones if
// asked for, and the marks given.
struct AsciiSet
{
    constexpr AsciiSet(std::string_view marks, bool upper)
    {
        for (char c = '0'; c <= '9'; ++c)
            has[uchar(c)] = true;
        for (char c = 'a'; c <= 'z'; ++c) {
            has[uchar(c)] = true;
            has[uchar(c - 'a' + 'A')] = upper;
        }
        for (const char c : marks)
            has[uchar(c)] = true;
    }
    bool contains(char16_t c) const { return c < 128 && has[c]; }
    bool has[128] = {};
};

} // namespace

bool isPlainWebAddress(QStringView text)
{
    const qsizetype scheme = text.startsWith(u"http://") ? 7 : text.startsWith(u"https://") ? 8 : 0;
    if (scheme == 0)
        return false;
    const char16_t* c = text.utf16() + scheme;
    const char16_t* const end = text.utf16() + text.size();
    // The host: labels of lower-case letters, digits and inner hyphens between single dots.
    // An "xn--" label stands for a name in another script and is left to the parser, and so
    // is a host whose last label starts with a digit, which may be read as an IPv4 address
    // in any of its forms ("0x7f.1"); a top-level name starts with a letter.
    static constexpr AsciiSet kHost("-.", false);
    const char16_t* const host = c;
    while (c != end && kHost.contains(*c))
        ++c;
    if (c == host || c - host > 253)
        return false;
    const char16_t* label = host;
    for (const char16_t* at = host;; ++at) {
        if (at != c && *at != u'.')
            continue;
        const qsizetype length = at - label;
        if (length == 0 || length > 63 || *label == u'-' || at[-1] == u'-' ||
            QStringView(label, length).startsWith(u"xn--"))
            return false;
        if (at == c)
            break;
        label = at + 1;
    }
    if (*label < u'a' || *label > u'z')
        return false;
    // A port as the parser writes it back: no leading zero, within 16 bits.
    if (c != end && *c == u':') {
        const char16_t* digits = ++c;
        quint32 port = 0;
        for (; c != end && *c >= u'0' && *c <= u'9' && c - digits < 5; ++c)
            port = port * 10 + (*c - u'0');
        if (c == digits || *digits == u'0' || port > 65535)
            return false;
    }
    // Then the path, query and fragment, with what encoding keeps as written: letters,
    // digits, the unreserved and sub-delimiting marks, the separators of the parts, and
    // one '#'.
    if (c != end && *c != u'/' && *c != u'?' && *c != u'#')
        return false;
    static constexpr AsciiSet kRest("-._~!$&'()*+,;=:@/?", true);
    bool fragment = false;
    for (; c != end; ++c) {
        if (*c == u'#' && !fragment)
            fragment = true;
        else if (!kRest.contains(*c))
            return false;
    }
    return true;
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

bool moveToTrashFrom(const QString& path, const QString& place)
{
    switch (moveToHomeTrash(path, QDir::cleanPath(place))) {
    case Trashed::Moved:
        return true;
    case Trashed::OtherFilesystem:
        return moveToOtherTrash(path, QDir::cleanPath(place));
    case Trashed::Failed:
        break;
    }
    return false;
}
