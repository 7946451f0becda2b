#include "transfer/TransferProgress.h"

#include "platform/Localization.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>

namespace {

// A new reading every half second, weighed against the ones before.
constexpr qint64 kSampleMsecs = 500;
constexpr double kNewWeight = 0.3;

QString countedText(const char* english, qint64 count)
{
    return QCoreApplication::translate("Quillmor", english, nullptr, int(count));
}

// One decimal, dropped where it is 0, and none from a hundred units up: "12.4 MB", "48 MB",
// "148 MB".
QString dataSize(qint64 bytes, const QLocale& locale)
{
    double units = double(bytes);
    while (units >= 1000)
        units /= 1000;
    const int precision = units >= 100 || std::lround(units * 10) % 10 == 0 ? 0 : 1;
    return locale.formattedDataSize(bytes, precision, QLocale::DataSizeSIFormat);
}

QString timeLeft(double seconds)
{
    const qint64 whole = qint64(std::ceil(seconds));
    if (whole < 60)
        return countedText(QT_TRANSLATE_N_NOOP("Quillmor", "about %n s left"), whole);
    if (whole < 3600)
        return countedText(QT_TRANSLATE_N_NOOP("Quillmor", "about %n min left"),
                           std::lround(seconds / 60));
    return countedText(QT_TRANSLATE_N_NOOP("Quillmor", "about %n h left"),
                       std::lround(seconds / 3600));
}

} // namespace

void TransferSpeed::restart(qint64 bytes, qint64 msecs)
{
    m_startMsecs = m_lastMsecs = msecs;
    m_lastBytes = bytes;
    m_rate = -1;
}

void TransferSpeed::sample(qint64 bytes, qint64 msecs)
{
    const qint64 elapsed = msecs - m_lastMsecs;
    if (elapsed < kSampleMsecs)
        return;
    const double rate = double(bytes - m_lastBytes) * 1000 / double(elapsed);
    m_rate = m_rate < 0 ? rate : (1 - kNewWeight) * m_rate + kNewWeight * rate;
    m_lastMsecs = msecs;
    m_lastBytes = bytes;
}

std::optional<double> TransferSpeed::bytesPerSecond() const
{
    if (m_rate < 0 || m_lastMsecs - m_startMsecs < 1000)
        return std::nullopt;
    return m_rate;
}

QString progressDetail(qint64 done, qint64 total, std::optional<double> bytesPerSecond,
                       const QLocale& locale)
{
    QStringList parts{total >= 0 ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1 of %2"))
                                       .arg(dataSize(done, locale), dataSize(total, locale))
                                 : dataSize(done, locale)};
    if (bytesPerSecond) {
        parts << localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1/s"))
                     .arg(dataSize(qint64(*bytesPerSecond), locale));
        if (total >= 0 && *bytesPerSecond >= 1)
            parts << timeLeft(double(qMax<qint64>(0, total - done)) / *bytesPerSecond);
    }
    return parts.join(localizedString(QT_TRANSLATE_NOOP("Quillmor", ", ")));
}

QString retryText(int secondsLeft)
{
    return countedText(QT_TRANSLATE_N_NOOP("Quillmor", "Retrying in %n s…"), secondsLeft);
}
