// The feed date reader on any text. A date it reads lies in the years the catalogue holds,
// white space around the text changes nothing, and the date written in the form feeds use
// most reads back as the same instant.

#include "catalogue/FeedDate.h"
#include "platform/PropertyList.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

QString commonForm(const QDateTime& date)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = date.date();
    const QTime t = date.time();
    return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d +0000", days[d.dayOfWeek() - 1],
                             d.day(), months[d.month() - 1], d.year(), t.hour(), t.minute(),
                             t.second());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FeedDate reader;
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    const std::optional<QDateTime> date = reader.parse(text);
    if (reader.parse(QStringLiteral(" \t") + text + QStringLiteral("\n ")) != date)
        fuzzFailure("white space around a date changes what it reads as", text);
    if (!date)
        return 0;
    const QDateTime utc = date->toUTC();
    if (!utc.isValid() || utc < distantPast() || utc.date().year() > 9999)
        fuzzFailure("a date beyond the years the catalogue holds", text, *date);
    if (utc.time().msec() == 0) {
        const QString written = commonForm(utc);
        if (reader.parse(written) != date)
            fuzzFailure("a date read does not read back from its common form", written, *date);
    }
    return 0;
}
