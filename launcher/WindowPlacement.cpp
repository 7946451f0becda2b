#include "launcher/WindowPlacement.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QIODevice>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace WindowPlacement {

namespace {

// saveGeometry() begins with this number and a major version, then the frame geometry.
constexpr quint32 kGeometryMagic = 0x1D9D0CB;
constexpr quint16 kNewestGeometryVersion = 3;

QRect centred(const QSize& designed, const QRect& area)
{
    const QSize size = designed.boundedTo(
        QSize(int(area.width() * screenShare), int(area.height() * screenShare)));
    QRect frame(QPoint(), size);
    frame.moveCenter(area.center());
    return frame;
}

} // namespace

std::optional<QRect> storedFrame(const QByteArray& state)
{
    QDataStream stream(state);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0, minor = 0;
    QRect frame;
    stream >> magic >> major >> minor >> frame;
    if (stream.status() != QDataStream::Ok || magic != kGeometryMagic || major < 1 ||
        major > kNewestGeometryVersion || !frame.isValid())
        return std::nullopt;
    return frame;
}

QRect openingFrame(const std::optional<QRect>& stored, const QSize& designed,
                   const QList<QRect>& areas)
{
    if (areas.isEmpty())
        return stored.value_or(QRect(QPoint(), designed));
    if (!stored)
        return centred(designed, areas.first());
    if (std::any_of(areas.begin(), areas.end(),
                    [&](const QRect& area) { return area.contains(*stored); }))
        return *stored;
    // Back on the screen the frame overlaps most, the first one when it overlaps none.
    const QRect* home = &areas.first();
    qint64 most = 0;
    for (const QRect& area : areas) {
        const QRect common = area.intersected(*stored);
        const qint64 overlap = qint64(common.width()) * common.height();
        if (overlap > most) {
            most = overlap;
            home = &area;
        }
    }
    return centred(designed, *home);
}

void place(QWidget* window, const QByteArray& state)
{
    const std::optional<QRect> stored = storedFrame(state);
    QList<QRect> areas;
    if (QScreen* first = window->screen())
        areas.append(first->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != window->screen())
            areas.append(screen->availableGeometry());
    }
    const QRect frame = openingFrame(stored, window->size(), areas);
    if (stored && frame == *stored && window->restoreGeometry(state))
        return;
    window->setGeometry(frame);
}

} // namespace WindowPlacement
