#include "catalogue/FeedDate.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <vector>

namespace {
constexpr double kFirstYear = -62135596800000.0; // 0001-01-01T00:00:00Z in milliseconds
constexpr double kLastYear = 253402300799999.0;  // 9999-12-31T23:59:59.999Z
} // namespace

struct FeedDate::Formats
{
    std::vector<std::unique_ptr<icu::SimpleDateFormat>> list;
};

FeedDate::FeedDate() : m_formats(std::make_unique<Formats>())
{
    // Lenient parsing takes one-digit days, full or abbreviated month names, "GMT" and "UT";
    // zone names such as "EST" need the zzz field.
    static const char* const patterns[] = {
        "EEE, dd MMMM yyyy HH:mm:ss Z",
        "EEE, dd MMMM yyyy HH:mm:ss zzz",
        "dd MMMM yyyy HH:mm:ss zzz",
    };
    const icu::Locale posix("en_US_POSIX");
    for (const char* pattern : patterns) {
        UErrorCode status = U_ZERO_ERROR;
        auto format = std::make_unique<icu::SimpleDateFormat>(
            icu::UnicodeString(pattern, -1, US_INV), posix, status);
        if (U_FAILURE(status))
            continue;
        format->setLenient(true);
        m_formats->list.push_back(std::move(format));
    }
}

FeedDate::~FeedDate() = default;

std::optional<QDateTime> FeedDate::parse(QStringView text) const
{
    const QStringView trimmed = text.trimmed();
    // No date is that long; the bound keeps a hostile feed from making ICU work for it.
    if (trimmed.isEmpty() || trimmed.size() > 256)
        return std::nullopt;
    const icu::UnicodeString source(reinterpret_cast<const UChar*>(trimmed.utf16()),
                                    int32_t(trimmed.size()));
    for (const auto& format : m_formats->list) {
        icu::ParsePosition position(0);
        const UDate date = format->parse(source, position);
        if (position.getErrorIndex() >= 0 || position.getIndex() != source.length())
            continue;
        // Lenient parsing rolls over into any year; the catalogue file holds years 1 to 9999.
        if (date < kFirstYear || date > kLastYear)
            return std::nullopt;
        return QDateTime::fromMSecsSinceEpoch(qint64(date), Qt::UTC);
    }
    return std::nullopt;
}
