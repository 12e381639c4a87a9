#pragma once

#include "platform/ClipboardBackend.h"

#include <functional>
#include <gtest/gtest.h>

namespace tarnwick::test {

// What code above the clipboard relies on, checked against the fake and the
// real backend alike so that the fake cannot drift from the real thing.
// `takeByOtherProgram` makes another program write the clipboard and returns
// once the backend could have noticed.
inline void checkClipboardContract(platform::ClipboardBackend& clipboard,
                                   const std::function<void()>& takeByOtherProgram)
{
    using platform::ClipboardContent;
    const ClipboardContent first{{QStringLiteral("com.tarnwick.series-token"), "TOKEN-1"},
                                 {QStringLiteral("text/plain"), "A1 первый"},
                                 {QStringLiteral("text/plain"), "duplicate"}};
    const std::uint64_t start = clipboard.changeCount();
    ASSERT_TRUE(clipboard.publish(first));
    const std::uint64_t afterFirst = clipboard.changeCount();
    EXPECT_GT(afterFirst, start);
    EXPECT_TRUE(clipboard.ownsClipboard());
    EXPECT_EQ(clipboard.publishedData(QStringLiteral("com.tarnwick.series-token")), "TOKEN-1");
    EXPECT_EQ(clipboard.publishedData(QStringLiteral("text/plain")), "A1 первый");
    EXPECT_TRUE(clipboard.publishedData(QStringLiteral("image/png")).isEmpty());

    // Publishing again is a change of its own, and replaces every format.
    ASSERT_TRUE(clipboard.publish({{QStringLiteral("com.tarnwick.series-token"), "TOKEN-2"}}));
    const std::uint64_t afterSecond = clipboard.changeCount();
    EXPECT_GT(afterSecond, afterFirst);
    EXPECT_EQ(clipboard.publishedData(QStringLiteral("com.tarnwick.series-token")), "TOKEN-2");
    EXPECT_TRUE(clipboard.publishedData(QStringLiteral("text/plain")).isEmpty());

    // Another program's write: ours is gone, the counter moved.
    takeByOtherProgram();
    EXPECT_GT(clipboard.changeCount(), afterSecond);
    EXPECT_FALSE(clipboard.ownsClipboard());
    EXPECT_TRUE(clipboard.publishedData(QStringLiteral("com.tarnwick.series-token")).isEmpty());

    // Clearing does not touch a clipboard that is not ours.
    const std::uint64_t foreign = clipboard.changeCount();
    clipboard.clear();
    EXPECT_EQ(clipboard.changeCount(), foreign);

    // Clearing our own publication is a change and gives up ownership.
    ASSERT_TRUE(clipboard.publish(first));
    const std::uint64_t ours = clipboard.changeCount();
    clipboard.clear();
    EXPECT_GT(clipboard.changeCount(), ours);
    EXPECT_FALSE(clipboard.ownsClipboard());
}

} // namespace tarnwick::test
