#include "catalogue/FeedDate.h"

#include <QStringList>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <vector>

namespace {

// RFC 2822 reads a two-digit year 00-49 as 20xx and 50-99 as 19xx, a three-digit one as
// counted from 1900. -1 for no year.
int fullYear(int year, int digits)
{
    if (year < 0)
        return -1;
    if (digits == 2)
        return year < 50 ? 2000 + year : 1900 + year;
    if (digits == 3)
        return 1900 + year;
    return year;
}

// The text with a short year written out and missing seconds put in, for the formatters,
// whose patterns take neither. The year is the number just before the time, which is the
// only word holding a colon.
QString withFullYearAndSeconds(QStringView text)
{
    QStringList words = text.toString().split(u' ', Qt::SkipEmptyParts);
    for (qsizetype k = 1; k < words.size(); ++k) {
        QString& time = words[k];
        if (!time.contains(u':'))
            continue;
        if (time.count(u':') == 1)
            time += QStringLiteral(":00");
        const QString& year = words[k - 1];
        bool numeric = false;
        const int value = year.toInt(&numeric);
        if (numeric && (year.size() == 2 || year.size() == 3))
            words[k - 1] = QString::number(fullYear(value, int(year.size())));
        break;
    }
    return words.join(u' ');
}

// The form nearly every feed writes, "Sun, 01 Nov 2026 12:00:00 +0000" (or GMT, UT), read
// without ICU: a parse there costs microseconds, and a feed has thousands of dates. Anything
// else, or anything out of range, is left to the formatters.
std::optional<QDateTime> parseCommonForm(QStringView t)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    qsizetype i = 0;
    const auto word = [&](const char* const* names, int count) -> int {
        if (i + 3 > t.size())
            return -1;
        for (int k = 0; k < count; ++k) {
            if (t.mid(i, 3) == QLatin1StringView(names[k], 3)) {
                i += 3;
                return k;
            }
        }
        return -1;
    };
    int digits = 0;
    const auto number = [&](int minDigits, int maxDigits) -> int {
        int value = 0;
        digits = 0;
        while (digits < maxDigits && i < t.size() && t[i] >= u'0' && t[i] <= u'9') {
            value = value * 10 + (t[i++].unicode() - '0');
            ++digits;
        }
        return digits >= minDigits ? value : -1;
    };
    const auto expect = [&](char16_t c) {
        return i < t.size() && t[i] == c ? (++i, true) : false;
    };

    if (word(days, 7) < 0 || !expect(u',') || !expect(u' '))
        return std::nullopt;
    const int day = number(1, 2);
    if (day < 0 || !expect(u' '))
        return std::nullopt;
    const int month = word(months, 12);
    if (month < 0 || !expect(u' '))
        return std::nullopt;
    const int written = number(2, 4);
    const int year = fullYear(written, digits);
    if (year < 1 || !expect(u' '))
        return std::nullopt;
    const int hour = number(2, 2);
    if (hour < 0 || !expect(u':'))
        return std::nullopt;
    const int minute = number(2, 2);
    if (minute < 0)
        return std::nullopt;
    // Seconds are optional in RFC 822.
    const int second = expect(u':') ? number(2, 2) : 0;
    if (second < 0 || !expect(u' '))
        return std::nullopt;
    int offset = 0;
    const QStringView zone = t.mid(i);
    if (zone.size() == 5 && (zone[0] == u'+' || zone[0] == u'-')) {
        ++i;
        const int hh = number(2, 2), mm = number(2, 2);
        if (hh < 0 || mm < 0 || hh > 23 || mm > 59)
            return std::nullopt;
        offset = (zone[0] == u'-' ? -1 : 1) * (hh * 3600 + mm * 60);
    } else if (zone != u"GMT" && zone != u"UT") {
        return std::nullopt;
    }
    const QDate date(year, month + 1, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC).addSecs(-offset);
}

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
    if (const auto common = parseCommonForm(trimmed)) {
        if (common->date().year() >= 1 && common->date().year() <= 9999)
            return common;
    }
    const QString normalized = withFullYearAndSeconds(trimmed);
    const icu::UnicodeString source(reinterpret_cast<const UChar*>(normalized.utf16()),
                                    int32_t(normalized.size()));
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
