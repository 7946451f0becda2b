// The levels-document reader: it only recognises the feed, so any bytes must give the feed's
// record and leave the item list out of the merge.

#include "catalogue/FeedParsers.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QUrl url(QStringLiteral("http://feeds.example/levels.xml"));
    const QDateTime now(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
    const std::optional<ParsedFeed> feed = parseXmlFeed(fuzzBytes(data, size), url, now);
    if (!feed)
        return 0;
    if (feed->hasItems || !feed->items.isEmpty())
        fuzzFailure("a levels document hands items to the merge", {}, feed->items);
    if (feed->repository.value(RepositoryKey::format) != FeedFormat::xml ||
        feed->repository.value(RepositoryKey::urlDownload) != url.toString())
        fuzzFailure("a levels document gives another feed's record", {}, feed->repository);
    return 0;
}
