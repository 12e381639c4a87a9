#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <optional>

namespace tarnwick::platform {

// The room kept above a window for its title bar, in points, while the window manager has not
// framed it yet: as tall as the tallest a window manager draws.
inline constexpr int titleBarGuess = 32;

// `frame` moved as little as it takes into `area`; a frame larger than the area keeps its left
// and top edges on it, so its title bar stays in reach. Pure.
QRect movedInside(const QRect& frame, const QRect& area);

// Where a frame of `size` whose corner should go to `corner` (Qt's global coordinates, any real
// number) ends up: moved into each of `areas`, the nearest result wins, the earlier area on a tie;
// without areas the corner stays, within the coordinates X11 can hold. Pure.
QPointF nearestInside(QPointF corner, QSizeF size, const QList<QRectF>& areas);

// The size a window's own area gets: `wanted`, no larger than `room`, and no smaller than
// `least` except where the room is smaller still. Pure.
QSize fittedSize(QSize wanted, QSize least, QSize room);

// Frames where windows open, `frame` being the size with the window manager's frame:
// in the middle of `area`;
QRect centredIn(const QRect& area, QSize frame);
// with the top right corner `inset` (right, down) inside the top right corner of `parent`;
QRect insideTopRight(const QRect& parent, QSize frame, QPoint inset);
// `inset` in from the right and bottom edges of `area`. Pure.
QRect inBottomRight(const QRect& area, QSize frame, int inset);

// Where `frame` goes inside `area` to keep clear of `keepOut` (a capture's area): where it is
// when it is clear already, else the nearest of the places `gap` below, above, right or left of
// `keepOut` that `area` holds whole; nothing when none does. Pure.
std::optional<QRect> clearOf(const QRect& frame, const QRect& keepOut, const QRect& area, int gap);

} // namespace tarnwick::platform
