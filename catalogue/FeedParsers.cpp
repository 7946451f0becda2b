#include "catalogue/FeedParsers.h"

#include "install/Locations.h"

#include <limits>

qint64 integerValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    constexpr qint64 limit = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (value > (limit - digit) / 10)
            return negative ? std::numeric_limits<qint64>::min() : limit;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

RepositoryEntry feedRecord(const QUrl& url, const QDateTime& now, quint32 secondsToNextCheck,
                           const QString& format)
{
    return {{RepositoryKey::urlDownload, absoluteString(url)},
            {RepositoryKey::nextCheckDate, now.addSecs(secondsToNextCheck)},
            {RepositoryKey::format, format}};
}

std::optional<ParsedFeed> parseXmlFeed(const QByteArray&, const QUrl& url, const QDateTime& now)
{
    // The levels document is only recognised, never read, so the bytes stay untouched and the
    // catalogue keeps what it has.
    return ParsedFeed{feedRecord(url, now, feedCheckInterval, FeedFormat::xml), {}, false};
}
