#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

namespace {

QString dataHome()
{
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

struct DesktopEntry
{
    QString path;
    QString exec;
    bool hidden = false;
};

// A string value with the desktop entry escapes \s, \n, \t, \r and \\ decoded; an unknown
// escape is kept as written. The Exec quoting rules apply to the result.
QString unescapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'\\':
            out += u'\\';
            break;
        default:
            out += u'\\';
            out += value[i];
        }
    }
    return out;
}

// Reads the [Desktop Entry] group by hand: QSettings would mangle the Exec quoting.
std::optional<DesktopEntry> readDesktopEntry(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    DesktopEntry entry;
    entry.path = path;
    bool inMainGroup = false;
    bool sawGroup = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            sawGroup = sawGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == u"Exec")
            entry.exec = unescapeValue(value);
        else if (key == u"Hidden")
            entry.hidden = value == u"true";
    }
    if (!sawGroup)
        return std::nullopt;
    return entry;
}

// Splits an Exec value into arguments as the desktop entry rules quote them.
QStringList splitExec(const QString& exec)
{
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool haveArg = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size()) {
                current += exec[++i];
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            haveArg = true;
        } else if (c == u' ' || c == u'\t') {
            if (haveArg)
                args.append(current);
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        args.append(current);
    return args;
}

bool isFieldCode(const QString& arg)
{
    return arg.size() == 2 && arg[0] == u'%' && QStringLiteral("fFuUdDnNickvm").contains(arg[1]);
}

// Folders searched for desktop entries, most important first: $XDG_DATA_HOME/applications,
// then each $XDG_DATA_DIRS folder's applications/.
QStringList applicationFolders()
{
    QStringList folders{dataHome() + QStringLiteral("/applications")};
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share/:/usr/share/");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            folders.append(QDir::cleanPath(dir) + QStringLiteral("/applications"));
    }
    return folders;
}

// The command of an Exec= value: quoting undone, field codes dropped, the program resolved
// through PATH when relative. None for an empty line.
std::optional<QStringList> commandOfExecLine(const QString& exec)
{
    QStringList args = splitExec(exec);
    args.removeIf(isFieldCode);
    if (args.isEmpty() || args.first().isEmpty())
        return std::nullopt;
    const QString program = args.first();
    if (!QDir::isAbsolutePath(program)) {
        const QString found = QStandardPaths::findExecutable(program);
        if (!found.isEmpty())
            args.first() = found;
    }
    return args;
}

// The desktop entry "<identifier>.desktop" that decides for the identifier: the first one
// found, even when it hides the application.
std::optional<DesktopEntry> findDesktopEntry(const QString& identifier)
{
    if (identifier.isEmpty() || identifier.contains(u'/'))
        return std::nullopt;
    for (const QString& folder : applicationFolders()) {
        const QString path = folder + u'/' + identifier + QStringLiteral(".desktop");
        if (!QFileInfo(path).isFile())
            continue;
        auto entry = readDesktopEntry(path);
        if (!entry || entry->hidden)
            return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

} // namespace

namespace Workspace {

QStringList applicationFolders()
{
    return ::applicationFolders();
}

std::optional<QString> absolutePathForAppWithIdentifier(const QString& identifier)
{
    const auto entry = findDesktopEntry(identifier);
    return entry ? std::optional<QString>(entry->path) : std::nullopt;
}

std::optional<Bundle> applicationBundle(const QString& identifier)
{
    const auto entry = findDesktopEntry(identifier);
    if (!entry)
        return std::nullopt;
    const auto command = commandOfExecLine(entry->exec);
    if (!command)
        return std::nullopt;
    Bundle bundle(entry->path, identifier, command->first());
    bundle.setArguments(command->mid(1));
    return bundle;
}

bool recycle(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    // Where the home Trash cannot be made, Qt falls back to "files/" and "info/" under the
    // current directory and still answers true. Make it first, and refuse where that fails.
    const QString trash = dataHome() + QStringLiteral("/Trash");
    if (!QDir().mkpath(trash + QStringLiteral("/files")) ||
        !QDir().mkpath(trash + QStringLiteral("/info")))
        return false;
    QString pathInTrash;
    if (!QFile::moveToTrash(path, &pathInTrash))
        return false;
    if (!QDir::isAbsolutePath(pathInTrash)) {
        // Somewhere that is no Trash: put the item back and take the stray record away.
        const QDir here = QDir::current();
        QFile::rename(here.absoluteFilePath(pathInTrash), path);
        const QString name = QFileInfo(pathInTrash).fileName();
        QFile::remove(
            here.absoluteFilePath(QStringLiteral("info/") + name + QStringLiteral(".trashinfo")));
        here.rmdir(QStringLiteral("files"));
        here.rmdir(QStringLiteral("info"));
        return false;
    }
    const QFileInfo trashed(pathInTrash);
    return !QFileInfo(path).exists() && !QFileInfo(path).isSymLink() &&
           (trashed.exists() || trashed.isSymLink());
}

std::optional<QString> applicationSupportDir()
{
    const QString dir = dataHome();
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

} // namespace Workspace
