// The RSS feed reader on any bytes: no crash, no read out of bounds, and a feed it accepts
// gives records the merge and the writer can take as they are.

#include "catalogue/FeedParsers.h"
#include "platform/PropertyList.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

bool isStoredDate(const QVariant& value)
{
    const QDateTime date = value.toDateTime();
    return value.metaType().id() == QMetaType::QDateTime && date.isValid() &&
           date >= distantPast() && date.toUTC().date().year() <= 9999;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QUrl url(QStringLiteral("http://feeds.example/levels/feed.rss"));
    const QDateTime now(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
    const std::optional<ParsedFeed> feed = parseRssFeed(fuzzBytes(data, size), url, now);
    if (!feed)
        return 0;

    const RepositoryEntry& record = feed->repository;
    const QDateTime next = record.value(RepositoryKey::nextCheckDate).toDateTime();
    if (record.value(RepositoryKey::format) != FeedFormat::rss ||
        record.value(RepositoryKey::urlDownload) != url.toString() || next < now.addDays(1) ||
        next > now.addDays(365))
        fuzzFailure("the feed's record is not the feed's", {}, record);
    if (!feed->hasItems)
        fuzzFailure("an RSS feed keeps its items from the merge");

    for (const QVariant& value : feed->items) {
        const FeedItem item = value.toMap();
        if (value.metaType().id() != QMetaType::QVariantMap ||
            item.value(LevelKey::urlDownload).toString().isEmpty() ||
            item.value(LevelKey::name).metaType().id() != QMetaType::QString ||
            item.value(LevelKey::length).metaType().id() != QMetaType::LongLong ||
            item.value(LevelKey::sha1Remote).metaType().id() != QMetaType::QByteArray)
            fuzzFailure("an item lacks what every level has", {}, value);
        if (item.contains(LevelKey::pubDateRemote) && !isStoredDate(item[LevelKey::pubDateRemote]))
            fuzzFailure("an item's date is beyond what the catalogue holds", {}, value);
    }
    if (!feed->items.isEmpty() && PropertyList::toXml(feed->items).isEmpty())
        fuzzFailure("the writer refuses the items of a feed", {}, feed->items.size());
    return 0;
}
