#include "launcher/OpenTarget.h"

#include "platform/Localization.h"

#include <QDir>
#include <QFileInfo>
#include <QUrlQuery>

namespace {

bool isWebScheme(const QString& scheme)
{
    return scheme == u"http" || scheme == u"https";
}

OpenTarget refused(const QString& problem)
{
    return {OpenTarget::Refused, {}, {}, problem};
}

// Why an address cannot be fetched, empty when it can; an archive's address has to name a file.
QString webProblem(const QUrl& url, bool archive)
{
    const QString shown = url.toDisplayString();
    if (url.isValid() && !url.isRelative() && !isWebScheme(url.scheme()))
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "The launcher fetches levels and "
                                                             "feeds over http and https only, "
                                                             "not from \"%1\"."))
            .arg(shown);
    if (!url.isValid() || url.host().isEmpty())
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "\"%1\" is not a complete address."))
            .arg(shown);
    if (archive && url.fileName().isEmpty())
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "\"%1\" names no archive file."))
            .arg(shown);
    return {};
}

OpenTarget readLink(const QUrl& link)
{
    // "quillmor://install?…", and "quillmor:install?…" as some pages write it.
    QString action = link.host();
    if (action.isEmpty())
        action = link.path().toLower();
    const bool install = action == u"install";
    if (!install && action != u"add-feed")
        return refused(
            localizedString(QT_TRANSLATE_NOOP(
                                "Quillmor", "The link asks for \"%1\", which the launcher does not "
                                            "know."))
                .arg(action));
    const QUrlQuery query(link);
    const QString address = query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded);
    if (address.isEmpty())
        return refused(
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The link names no address to fetch.")));
    const QUrl target(address, QUrl::StrictMode);
    if (const QString problem = webProblem(target, install); !problem.isEmpty())
        return refused(problem);
    if (!install)
        return {OpenTarget::FeedLink, {}, target, {}};
    const QString feedAddress = query.queryItemValue(QStringLiteral("feed"), QUrl::FullyDecoded);
    const QUrl feed = feedAddress.isEmpty() ? QUrl() : QUrl(feedAddress, QUrl::StrictMode);
    if (!feedAddress.isEmpty())
        if (const QString problem = webProblem(feed, false); !problem.isEmpty())
            return refused(problem);
    return {OpenTarget::InstallLink, target, feed, {}};
}

} // namespace

QString OpenTarget::fileName(const QUrl& url)
{
    const QString name = url.fileName();
    return name.isEmpty() ? url.host() : name;
}

OpenTarget readOpenTarget(const QUrl& url)
{
    if (url.isLocalFile()) {
        const QFileInfo file(url.toLocalFile());
        if (!file.isFile() || !file.isReadable())
            return refused(
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1 is not a file that can be read."))
                    .arg(QDir::toNativeSeparators(file.filePath())));
        return {OpenTarget::LocalArchive, url, {}, {}};
    }
    if (url.scheme() == kLevelLinkScheme)
        return readLink(url);
    if (!isWebScheme(url.scheme()))
        return refused(
            localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                              "The launcher cannot open \"%1\": it takes level "
                                              "archives on this computer or at http and https "
                                              "addresses, and quillmor links."))
                .arg(url.toDisplayString()));
    if (const QString problem = webProblem(url, true); !problem.isEmpty())
        return refused(problem);
    return {OpenTarget::WebArchive, url, {}, {}};
}

bool isDroppable(const QUrl& url)
{
    if (url.isLocalFile()) {
        const QFileInfo file(url.toLocalFile());
        return file.isFile() && file.suffix().compare(u"zip", Qt::CaseInsensitive) == 0;
    }
    if (url.scheme() == kLevelLinkScheme)
        return readOpenTarget(url).isLink();
    return isWebScheme(url.scheme()) && !url.host().isEmpty() &&
           url.fileName().endsWith(u".zip", Qt::CaseInsensitive);
}
