#include "recording/RecordingContent.h"

#include "capture/SelectionOverlays.h"
#include "platform/TarnwickError.h"

#include <QScreen>

#include <condition_variable>
#include <mutex>

namespace tarnwick::recording {

std::uint32_t screenID(QScreen* screen, const std::vector<platform::Monitor>& monitors)
{
    if (!screen)
        return 0;
    const QRect pixels = capture::screenPixels(screen, monitors);
    for (const auto& m : monitors) {
        if (m.geometry == pixels)
            return m.id;
    }
    return 0;
}

std::uint32_t screenID(QScreen* screen)
{
    try {
        return screenID(screen, RecordingContent::currentContent().displays);
    } catch (const TarnwickError&) {
        return 0;
    }
}

ShareableContent RecordingContent::currentContent()
{
    auto grabber = platform::makeScreenGrabber();
    if (!grabber->unavailableReason().isEmpty())
        throw TarnwickError(grabber->unavailableReason());
    return {grabber->monitors()};
}

CaptureDisplay RecordingContent::display(std::uint32_t displayID, std::stop_token stop, const Fetch& fetch)
{
    for (int attempt = 0;; ++attempt) {
        ShareableContent content = fetch();
        for (const auto& d : content.displays) {
            if (d.id == displayID)
                return {content, d};
        }
        if (attempt == attempts - 1) {
            throw TarnwickError(QStringLiteral(
                "Система не предоставила выбранный экран. Проверьте подключение монитора и доступ Tarnwick к "
                "записи экрана, затем попробуйте ещё раз."));
        }
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        wake.wait_for(lock, stop, retryPause, [] { return false; });
        if (stop.stop_requested())
            throw CancellationError();
    }
}

} // namespace tarnwick::recording
