#include "platform/TarnwickError.h"
#include "recording/RecordingContent.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;

namespace {

// A display that shows up in the content from fetch number `listedFrom` on
// (1-based; 0: never), or a fetch that fails on its first call.
struct Content {
    int listedFrom = 0;
    bool fails = false;
    int fetches = 0;

    ShareableContent operator()()
    {
        ++fetches;
        if (fails)
            throw TarnwickError(QStringLiteral("Нет связи с X-сервером."));
        ShareableContent content{{{7, QRect(0, 0, 1920, 1080), QStringLiteral("eDP-1")}}};
        if (listedFrom && fetches >= listedFrom)
            content.displays.push_back({42, QRect(1920, 0, 1280, 1024), QStringLiteral("HDMI-1")});
        return content;
    }
};

} // namespace

TEST(RecordingContent, RetriesTwiceWhileTheDisplayIsMissingAndPassesFetchErrorsAtOnce)
{
    struct Case {
        int listedFrom;
        bool fails;
        int fetches;
        QString error;
    } cases[] = {
        {1, false, 1, {}},
        {3, false, 3, {}},
        {0, false, 3, QStringLiteral("Система не предоставила выбранный экран")},
        {1, true, 1, QStringLiteral("Нет связи с X-сервером.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listedFrom);
        Content content{c.listedFrom, c.fails};
        try {
            const CaptureDisplay found = RecordingContent::display(42, {}, std::ref(content));
            EXPECT_TRUE(c.error.isEmpty());
            EXPECT_EQ(found.display.geometry, QRect(1920, 0, 1280, 1024));
        } catch (const TarnwickError& e) {
            EXPECT_FALSE(c.error.isEmpty());
            EXPECT_TRUE(e.errorDescription().startsWith(c.error)) << e.what();
        }
        EXPECT_EQ(content.fetches, c.fetches);
    }
}

TEST(RecordingContent, ACancelledLookupStopsInItsPause)
{
    std::stop_source stop;
    int fetches = 0;
    const auto fetch = [&] {
        ++fetches;
        stop.request_stop();
        return ShareableContent{};
    };
    EXPECT_THROW(RecordingContent::display(42, stop.get_token(), fetch), CancellationError);
    EXPECT_EQ(fetches, 1);
}
