#pragma once

// What a progress sheet says about a transfer under way: the bytes done of the whole, the
// speed, and the time left once the speed means something ("12.4 MB of 48 MB, 3.1 MB/s,
// about 12 s left"), in the player's language and number format.

#include <QLocale>
#include <QString>

#include <optional>

// A transfer's speed, smoothed so that the figure does not jump with every piece that arrives.
class TransferSpeed
{
public:
    // Counting from now, with `bytes` already there (a resumed part, which took no time).
    void restart(qint64 bytes, qint64 msecs);
    void sample(qint64 bytes, qint64 msecs);
    // Bytes a second; none until a second's worth of arrivals has been measured.
    std::optional<double> bytesPerSecond() const;

private:
    qint64 m_startMsecs = 0;
    qint64 m_lastMsecs = 0;
    qint64 m_lastBytes = 0;
    double m_rate = -1;
};

// "12.4 MB of 48 MB, 3.1 MB/s, about 12 s left"; without the total and the time left when
// the length is unknown (total < 0), and without speed and time while there is no speed.
QString progressDetail(qint64 done, qint64 total, std::optional<double> bytesPerSecond,
                       const QLocale& locale = QLocale());
// "Retrying in 4 s…"
QString retryText(int secondsLeft);
