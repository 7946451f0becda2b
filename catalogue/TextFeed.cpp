#include "catalogue/FeedParsers.h"

#include <QStringDecoder>

namespace {

bool endsLine(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// Only a URL that names a place to fetch from can stand for an archive; the rest of a page
// that is not a level list (an error or login page) must not pass for one.
bool isAbsoluteUrl(const QString& line)
{
    const QUrl url(line);
    return url.isValid() && !url.isRelative() &&
           (!url.host().isEmpty() || url.scheme() == QStringLiteral("file"));
}

} // namespace

std::optional<ParsedFeed> parseTxtFeed(const QByteArray& bytes, const QUrl& url,
                                       const QDateTime& now)
{
    QStringDecoder decoder("windows-1252");
    // Without the code page every feed would read as empty and lose its levels in the merge.
    if (!decoder.isValid())
        return std::nullopt;
    const QString text = decoder.decode(bytes);

    ParsedFeed feed{feedRecord(url, now, feedCheckInterval, FeedFormat::txt), {}, true};
    // Lines are paired as they are found rather than collected first, so a feed of nothing
    // but line ends costs no more than its own text.
    std::optional<QStringView> name;
    qsizetype start = 0;
    auto takeLine = [&](QStringView line) {
        if (!name) {
            name = line;
            return;
        }
        const QString link = line.toString();
        if (isAbsoluteUrl(link))
            feed.items.append(FeedItem{.name = name->toString(), .urlDownload = link});
        name.reset();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!endsLine(text[i]))
            continue;
        takeLine(QStringView(text).mid(start, i - start));
        // Carriage return and line feed together end one line, as every editor writes them.
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    takeLine(QStringView(text).mid(start));

    if (feed.items.isEmpty() && !text.trimmed().isEmpty())
        return std::nullopt;
    return feed;
}
