#include "platform/UsableArea.h"

#include "platform/X11Internal.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace tarnwick::platform {
namespace {

// Whether the stretch first..last of an edge meets the span from..to.
bool meets(int first, int last, int from, int to) { return first <= to && last >= from; }

std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    const x11::Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->format != 32 || reply->type == XCB_ATOM_NONE)
        return {};
    const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {items, items + xcb_get_property_value_length(reply.get()) / 4};
}

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, std::uint32_t items)
{
    return xcb_get_property(c, 0, window, property, XCB_ATOM_CARDINAL, 0, items);
}

struct Desk {
    QSize root;
    std::optional<QRect> workArea;
    std::vector<Strut> struts;
};

// The root's size, the current desktop's work area and every managed window's strut, in a few
// round trips however many windows there are.
std::optional<Desk> readDesk(xcb_connection_t* c)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, root);
    // Asked together: every layout pass of a window may ask again.
    const char* const names[] = {"_NET_WORKAREA", "_NET_CURRENT_DESKTOP", "_NET_CLIENT_LIST", "_NET_WM_STRUT_PARTIAL",
                                 "_NET_WM_STRUT"};
    std::array<xcb_intern_atom_cookie_t, 5> atomCookies{};
    for (std::size_t i = 0; i < atomCookies.size(); ++i)
        atomCookies[i] = xcb_intern_atom(c, 0, std::uint16_t(std::strlen(names[i])), names[i]);
    std::array<xcb_atom_t, 5> atoms{};
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const x11::Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, atomCookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    const auto [workAreaAtom, desktopAtom, clientsAtom, partialAtom, strutAtom] = atoms;
    const auto workAreaCookie = ask(c, root, workAreaAtom, 1024);
    const auto desktopCookie = ask(c, root, desktopAtom, 1);
    const xcb_get_property_cookie_t clientsCookie = xcb_get_property(c, 0, root, clientsAtom, XCB_ATOM_WINDOW, 0, 4096);
    const x11::Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    const std::vector<std::uint32_t> workAreas = cardinals(c, workAreaCookie);
    const std::vector<std::uint32_t> desktop = cardinals(c, desktopCookie);
    std::vector<std::uint32_t> clients;
    if (const x11::Reply<xcb_get_property_reply_t> reply{xcb_get_property_reply(c, clientsCookie, nullptr)};
        reply && reply->format == 32) {
        const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        clients.assign(items, items + xcb_get_property_value_length(reply.get()) / 4);
    }
    if (!geometry)
        return std::nullopt;

    Desk desk;
    desk.root = QSize(geometry->width, geometry->height);
    // Four numbers a desktop; a window manager that writes only one area means it for all.
    std::size_t first = desktop.empty() ? 0 : std::size_t(desktop[0]) * 4;
    if (first + 4 > workAreas.size())
        first = 0;
    if (workAreas.size() >= first + 4)
        desk.workArea = QRect(int(workAreas[first]), int(workAreas[first + 1]), int(workAreas[first + 2]),
                              int(workAreas[first + 3]));

    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
    for (std::uint32_t window : clients)
        cookies.emplace_back(ask(c, window, partialAtom, 12), ask(c, window, strutAtom, 4));
    for (const auto& [partialCookie, plainCookie] : cookies) {
        const std::vector<std::uint32_t> partial = cardinals(c, partialCookie);
        const std::vector<std::uint32_t> plain = cardinals(c, plainCookie);
        const auto value = [](std::uint32_t v) { return int(std::min<std::uint32_t>(v, 32767)); };
        Strut strut;
        if (partial.size() >= 12) {
            strut = {value(partial[0]), value(partial[1]), value(partial[2]),  value(partial[3]),
                     value(partial[4]), value(partial[5]), value(partial[6]),  value(partial[7]),
                     value(partial[8]), value(partial[9]), value(partial[10]), value(partial[11])};
        } else if (plain.size() >= 4) {
            // The older property takes whole edges.
            const int w = desk.root.width() - 1, h = desk.root.height() - 1;
            strut = {value(plain[0]), value(plain[1]), value(plain[2]), value(plain[3]), 0, h, 0, h, 0, w, 0, w};
        } else {
            continue;
        }
        desk.struts.push_back(strut);
    }
    return desk;
}

} // namespace

QRect usableArea(const QRect& monitor, const std::optional<QRect>& workArea, const std::vector<Strut>& struts,
                 QSize root)
{
    QRect area = monitor;
    if (workArea && workArea->intersects(monitor))
        area = *workArea & monitor;
    for (const Strut& s : struts) {
        // A strut cuts the monitor where its inner edge lies on it; a dock on another monitor, or one
        // whose strut runs across this monitor from the root's far edge, leaves it alone.
        if (s.left > 0 && meets(s.leftStartY, s.leftEndY, area.top(), area.bottom()) && s.left > area.left()
            && s.left <= area.right())
            area.setLeft(s.left);
        const int rightEdge = root.width() - s.right;
        if (s.right > 0 && meets(s.rightStartY, s.rightEndY, area.top(), area.bottom()) && rightEdge > area.left()
            && rightEdge <= area.right())
            area.setRight(rightEdge - 1);
        if (s.top > 0 && meets(s.topStartX, s.topEndX, area.left(), area.right()) && s.top > area.top()
            && s.top <= area.bottom())
            area.setTop(s.top);
        const int bottomEdge = root.height() - s.bottom;
        if (s.bottom > 0 && meets(s.bottomStartX, s.bottomEndX, area.left(), area.right()) && bottomEdge > area.top()
            && bottomEdge <= area.bottom())
            area.setBottom(bottomEdge - 1);
    }
    return area;
}

QRect usableArea(const QScreen& screen)
{
    xcb_connection_t* c = x11::qtConnection();
    const std::optional<Desk> desk = c ? readDesk(c) : std::nullopt;
    if (!desk)
        return screen.availableGeometry();
    // Qt keeps a screen's top left corner in device pixels and divides only its size by the scale.
    const QRect logical = screen.geometry();
    const double scale = screen.devicePixelRatio();
    const QRect monitor(logical.topLeft(), (QSizeF(logical.size()) * scale).toSize());
    const QRect pixels = usableArea(monitor, desk->workArea, desk->struts, desk->root);
    // Rounded inwards, so that a window at the edge never reaches into a dock.
    const auto toLogical = [&](int device, int origin, bool up) {
        const double value = origin + (device - origin) / scale;
        return int(up ? std::ceil(value - 1e-9) : std::floor(value + 1e-9));
    };
    const int left = toLogical(pixels.left(), monitor.left(), true);
    const int top = toLogical(pixels.top(), monitor.top(), true);
    const int right = toLogical(pixels.right() + 1, monitor.left(), false);
    const int bottom = toLogical(pixels.bottom() + 1, monitor.top(), false);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QList<QRect> usableAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << usableArea(*screen);
    return areas;
}

} // namespace tarnwick::platform
