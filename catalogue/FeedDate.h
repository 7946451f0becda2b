#pragma once

// Reads the publication dates of RSS items: the launcher's own pattern first, then the RFC 822
// forms that feeds commonly write (no weekday, US zone names). The formatters are costly to
// build, so one reader serves all the items of a feed.

#include <QDateTime>
#include <QStringView>

#include <memory>
#include <optional>

class FeedDate
{
public:
    FeedDate();
    ~FeedDate();
    FeedDate(const FeedDate&) = delete;
    FeedDate& operator=(const FeedDate&) = delete;

    // None unless one pattern takes the whole text (white space around it aside) and the date
    // falls in the years a catalogue file can hold.
    std::optional<QDateTime> parse(QStringView text) const;

private:
    struct Formats;
    std::unique_ptr<Formats> m_formats;
};
