// The text feed reader on any bytes: every item pairs a one-line name with an absolute link.

#include "catalogue/FeedParsers.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

bool holdsLineEnd(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QUrl url(QStringLiteral("http://feeds.example/levels.txt"));
    const QDateTime now(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
    const std::optional<ParsedFeed> feed = parseTxtFeed(fuzzBytes(data, size), url, now);
    if (!feed)
        return 0;
    if (feed->repository.value(RepositoryKey::format) != FeedFormat::txt ||
        feed->repository.value(RepositoryKey::urlDownload) != url.toString() || !feed->hasItems)
        fuzzFailure("the feed's record is not the feed's", {}, feed->repository);
    for (const QVariant& value : feed->items) {
        const FeedItem item = value.toMap();
        const QString name = item.value(LevelKey::name).toString();
        const QUrl link(item.value(LevelKey::urlDownload).toString());
        if (holdsLineEnd(name) || !link.isValid() || link.isRelative())
            fuzzFailure("an item is not a name line and a link line", {}, value);
    }
    return 0;
}
