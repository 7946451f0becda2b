#pragma once

// Where the main window opens. The frame kept at the last close comes back as long as it still
// lies wholly on one screen; otherwise (a first start, a monitor unplugged or made smaller, a
// larger scale factor) the window opens at its designed size, cut down to nine tenths of its
// screen's free area and centred there, so that its edges and title bar can always be reached.

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace WindowPlacement {

// The share of a screen's free area that a window opened anew takes at most.
inline constexpr double screenShare = 0.9;

// The frame that a saveGeometry() answer recorded, or none when the data is not one.
std::optional<QRect> storedFrame(const QByteArray& state);
// The window's frame given the stored one (none at a first start), the designed size and the
// free areas of the screens, the one a new window opens on first.
QRect openingFrame(const std::optional<QRect>& stored, const QSize& designed,
                   const QList<QRect>& areas);
// Restores the stored state onto the window when its frame still fits a screen, or opens the
// window at its designed size (its size now) on its screen.
void place(QWidget* window, const QByteArray& state);

} // namespace WindowPlacement
