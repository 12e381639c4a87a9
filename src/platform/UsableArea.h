#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

class QScreen;

namespace tarnwick::platform {

// What a dock keeps for itself along the edges of the root window (_NET_WM_STRUT_PARTIAL): a
// width in from each edge and the stretch of that edge it takes, ends included. Device pixels.
struct Strut {
    int left = 0, right = 0, top = 0, bottom = 0;
    int leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    int topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
};

// The part of `monitor` that windows may use: its overlap with the window manager's work area
// (left out when there is none, or when it leaves nothing of the monitor, as a work area cut by a
// dock between two monitors does), less every strut whose inner edge lies on the monitor. Device
// pixels of a root window of `root` size. Pure.
QRect usableArea(const QRect& monitor, const std::optional<QRect>& workArea, const std::vector<Strut>& struts,
                 QSize root);

// Where windows may go on `screen`, in Qt's global coordinates: on X11 the rule above with what
// the server holds now (Qt looks at the work area only while there is one monitor); elsewhere Qt's
// available geometry. Every placement of a window asks this. GUI thread.
QRect usableArea(const QScreen& screen);

// The usable area of every screen, in the order of QGuiApplication::screens().
QList<QRect> usableAreas();

} // namespace tarnwick::platform
