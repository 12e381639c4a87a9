#include "platform/X11ScreenGrabber.h"

#include "platform/TarnwickError.h"
#include "platform/X11Internal.h"

#include <xcb/randr.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace tarnwick::platform {

namespace {

struct PixelLayout {
    bool supported = false;
    bool swapBytes = false; // the server sends pixels most significant byte first
    bool swapRedBlue = false;
    int depth = 0;
};

PixelLayout layoutOf(xcb_connection_t* c, const xcb_screen_t* screen)
{
    PixelLayout layout;
    layout.depth = screen->root_depth;
    const xcb_setup_t* setup = xcb_get_setup(c);
    int bitsPerPixel = 0;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth)
            bitsPerPixel = it.data->bits_per_pixel;
    }
    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem && !visual; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                visual = v.data;
                break;
            }
        }
    }
    if (bitsPerPixel != 32 || (layout.depth != 24 && layout.depth != 32) || !visual)
        return layout;
    layout.swapBytes = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    if (visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff)
        layout.supported = true;
    else if (visual->red_mask == 0xff && visual->green_mask == 0xff00 && visual->blue_mask == 0xff0000)
        layout.supported = layout.swapRedBlue = true;
    return layout;
}

// Server pixels (32 bits each) as opaque B, G, R, 0xFF.
void convertRow(const std::uint32_t* in, std::uint32_t* out, int width, const PixelLayout& layout)
{
    if (!layout.swapBytes && !layout.swapRedBlue) {
        for (int x = 0; x < width; ++x)
            out[x] = in[x] | 0xff000000u;
        return;
    }
    for (int x = 0; x < width; ++x) {
        std::uint32_t p = in[x];
        if (layout.swapBytes)
            p = __builtin_bswap32(p);
        if (layout.swapRedBlue)
            p = (p & 0x00ff00u) | ((p & 0xffu) << 16) | ((p >> 16) & 0xffu);
        out[x] = p | 0xff000000u;
    }
}

[[noreturn]] void outOfMemory(int width, int height)
{
    throw TarnwickError(QStringLiteral("Не хватает памяти для снимка экрана %1×%2.").arg(width).arg(height));
}

// Copies pixels out of the shared segment, which the next grab reuses.
QImage copyPixels(const std::uint8_t* data, int width, int height, const PixelLayout& layout)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        outOfMemory(width, height);
    for (int y = 0; y < height; ++y) {
        convertRow(reinterpret_cast<const std::uint32_t*>(data) + std::size_t(y) * width,
                   reinterpret_cast<std::uint32_t*>(image.scanLine(y)), width, layout);
    }
    return image;
}

// Converts a GetImage reply in place and hands it to an image, which frees it.
QImage adoptReply(xcb_get_image_reply_t* reply, int width, int height, const PixelLayout& layout)
{
    auto* data = reinterpret_cast<std::uint32_t*>(xcb_get_image_data(reply));
    convertRow(data, data, width * height, layout);
    QImage image(reinterpret_cast<uchar*>(data), width, height, width * 4, QImage::Format_RGB32, std::free, reply);
    if (image.isNull()) {
        std::free(reply);
        outOfMemory(width, height);
    }
    return image;
}

} // namespace

struct X11ScreenGrabber::Impl {
    QString display;
    GrabTransport transport;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = XCB_NONE;
    PixelLayout layout;
    bool usedShm = false;

    // The shared segment, attached to the current connection while `seg` is set.
    bool shmRefused = false;
    int shmId = -1;
    void* shmAddress = nullptr;
    std::size_t shmSize = 0;
    xcb_shm_seg_t seg = 0;

    ~Impl() { close(); }

    void close()
    {
        releaseSegment();
        if (c)
            xcb_disconnect(c);
        c = nullptr;
    }

    void releaseSegment()
    {
        if (seg && c && !xcb_connection_has_error(c)) {
            xcb_shm_detach(c, seg);
            xcb_flush(c);
        }
        seg = 0;
        if (shmAddress)
            shmdt(shmAddress);
        shmAddress = nullptr;
        shmSize = 0;
        shmId = -1;
    }

    [[noreturn]] void lost()
    {
        close();
        const QString name = display.isEmpty() ? QString::fromLocal8Bit(qgetenv("DISPLAY")) : display;
        throw TarnwickError(QStringLiteral("Связь с X-сервером «%1» потеряна.").arg(name));
    }

    xcb_connection_t* connection()
    {
        if (c && !xcb_connection_has_error(c))
            return c;
        close();
        int screenNumber = 0;
        QString error;
        c = x11::connect(display, &screenNumber, &error);
        if (!c)
            throw TarnwickError(error);
        shmRefused = false;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; it.rem && i < screenNumber; ++i)
            xcb_screen_next(&it);
        root = it.data->root;
        layout = layoutOf(c, it.data);
        return c;
    }

    QRect screenRect()
    {
        xcb_connection_t* conn = connection();
        x11::Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(conn, xcb_get_geometry(conn, root), nullptr));
        if (!g)
            lost();
        return QRect(0, 0, g->width, g->height);
    }

    // True when the segment holds at least `bytes` and the server has attached it.
    bool segmentFor(std::size_t bytes)
    {
        if (shmRefused || transport == GrabTransport::PlainGetImage)
            return false;
        if (seg && shmSize >= bytes)
            return true;
        releaseSegment();
        if (!x11::hasExtension(c, &xcb_shm_id)) {
            shmRefused = true;
            return false;
        }
        shmId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (shmId < 0) {
            shmRefused = true;
            return false;
        }
        shmAddress = shmat(shmId, nullptr, 0);
        if (shmAddress == reinterpret_cast<void*>(-1)) {
            shmAddress = nullptr;
            shmctl(shmId, IPC_RMID, nullptr);
            shmRefused = true;
            return false;
        }
        shmSize = bytes;
        seg = xcb_generate_id(c);
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_shm_attach_checked(c, seg, static_cast<std::uint32_t>(shmId), 0));
        // Once the server holds it, the segment goes away with the last detach, even if we crash.
        shmctl(shmId, IPC_RMID, nullptr);
        if (error || xcb_connection_has_error(c)) {
            // A remote server or one in another IPC namespace cannot see our segment.
            std::free(error);
            seg = 0;
            releaseSegment();
            shmRefused = true;
            if (xcb_connection_has_error(c))
                lost();
            return false;
        }
        return true;
    }

    QImage grabShared(const QRect& r)
    {
        const std::size_t bytes = std::size_t(r.width()) * r.height() * 4;
        if (!segmentFor(bytes))
            return {};
        x11::Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, root, static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                              static_cast<std::uint16_t>(r.width()), static_cast<std::uint16_t>(r.height()), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
            nullptr));
        if (!reply) {
            if (xcb_connection_has_error(c))
                lost();
            return {};
        }
        return copyPixels(static_cast<const std::uint8_t*>(shmAddress), r.width(), r.height(), layout);
    }

    QImage grabPlain(const QRect& r)
    {
        xcb_generic_error_t* error = nullptr;
        x11::Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(r.x()),
                          static_cast<std::int16_t>(r.y()), static_cast<std::uint16_t>(r.width()),
                          static_cast<std::uint16_t>(r.height()), ~0u),
            &error));
        if (!reply) {
            std::free(error);
            if (xcb_connection_has_error(c))
                lost();
            throw TarnwickError(QStringLiteral("X-сервер не отдал изображение экрана."));
        }
        if (xcb_get_image_data_length(reply.get()) < r.width() * r.height() * 4)
            throw TarnwickError(QStringLiteral("X-сервер прислал неполное изображение экрана."));
        return adoptReply(reply.release(), r.width(), r.height(), layout);
    }
};

X11ScreenGrabber::X11ScreenGrabber(QString display, GrabTransport transport) : d_(std::make_unique<Impl>())
{
    d_->display = std::move(display);
    d_->transport = transport;
}

X11ScreenGrabber::~X11ScreenGrabber() = default;

QString X11ScreenGrabber::unavailableReason() const
{
    return {};
}

bool X11ScreenGrabber::usedSharedMemory() const
{
    return d_->usedShm;
}

QRect X11ScreenGrabber::screenRect()
{
    return d_->screenRect();
}

QImage X11ScreenGrabber::grab(const QRect& rect)
{
    const QRect r = rect.intersected(d_->screenRect());
    if (r.isEmpty())
        throw TarnwickError(QStringLiteral("Область снимка лежит за пределами экрана."));
    if (!d_->layout.supported) {
        throw TarnwickError(
            QStringLiteral("Экран с глубиной цвета %1 бит не поддерживается: нужен 24-битный цвет.").arg(d_->layout.depth));
    }
    QImage image = d_->grabShared(r);
    d_->usedShm = !image.isNull();
    if (image.isNull())
        image = d_->grabPlain(r);
    return image;
}

namespace {

// RandR 1.5 monitors: what the desktop and Qt call screens, including parts of
// one output split with `xrandr --setmonitor`. Nothing when the server is older.
std::optional<std::vector<Monitor>> randrMonitors(xcb_connection_t* c, xcb_window_t root)
{
    x11::Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || std::pair(version->major_version, version->minor_version) < std::pair(1u, 5u))
        return std::nullopt;
    x11::Reply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
    if (!reply)
        return std::nullopt;
    std::vector<Monitor> result;
    std::vector<xcb_get_atom_name_cookie_t> names;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
        // The name atom is unique among the monitors and lives as long as the server.
        result.push_back({it.data->name, QRect(it.data->x, it.data->y, it.data->width, it.data->height), {}});
        names.push_back(xcb_get_atom_name(c, it.data->name));
    }
    for (std::size_t i = 0; i < result.size(); ++i) {
        x11::Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, names[i], nullptr));
        if (name) {
            result[i].name = QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                                               xcb_get_atom_name_name_length(name.get()));
        }
    }
    return result;
}

// The lit CRTCs of an older RandR, named after their first output.
std::vector<Monitor> crtcMonitors(xcb_connection_t* c, xcb_window_t root)
{
    std::vector<Monitor> result;
    x11::Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!resources)
        return result;
    const xcb_randr_crtc_t* crtcs = xcb_randr_get_screen_resources_current_crtcs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_crtcs_length(resources.get());
    std::vector<xcb_randr_get_crtc_info_cookie_t> cookies;
    for (int i = 0; i < count; ++i)
        cookies.push_back(xcb_randr_get_crtc_info(c, crtcs[i], resources->config_timestamp));
    std::vector<xcb_randr_get_output_info_cookie_t> names;
    for (int i = 0; i < count; ++i) {
        x11::Reply<xcb_randr_get_crtc_info_reply_t> info(xcb_randr_get_crtc_info_reply(c, cookies[i], nullptr));
        if (!info || info->mode == XCB_NONE || info->num_outputs == 0)
            continue;
        result.push_back({crtcs[i], QRect(info->x, info->y, info->width, info->height), {}});
        names.push_back(xcb_randr_get_output_info(c, xcb_randr_get_crtc_info_outputs(info.get())[0],
                                                  resources->config_timestamp));
    }
    for (std::size_t i = 0; i < result.size(); ++i) {
        x11::Reply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(c, names[i], nullptr));
        if (output) {
            result[i].name = QString::fromUtf8(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(output.get())),
                                               xcb_randr_get_output_info_name_length(output.get()));
        }
    }
    return result;
}

} // namespace

std::vector<Monitor> X11ScreenGrabber::monitors()
{
    xcb_connection_t* c = d_->connection();
    const QRect screen = d_->screenRect();
    std::vector<Monitor> result;
    if (x11::hasExtension(c, &xcb_randr_id)) {
        if (auto monitors = randrMonitors(c, d_->root))
            result = std::move(*monitors);
        else
            result = crtcMonitors(c, d_->root);
    }
    if (xcb_connection_has_error(c))
        d_->lost();
    std::erase_if(result, [&](Monitor& m) { return (m.geometry &= screen).isEmpty(); });
    if (result.empty())
        result.push_back({0, screen, {}});
    std::sort(result.begin(), result.end(), [](const Monitor& a, const Monitor& b) {
        return std::pair(a.geometry.x(), a.geometry.y()) < std::pair(b.geometry.x(), b.geometry.y());
    });
    return result;
}

} // namespace tarnwick::platform
