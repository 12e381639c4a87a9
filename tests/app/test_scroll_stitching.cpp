#include "app/ScrollingImageAssembler.h"
#include "NoisePage.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::noisePage;

namespace {

using Kind = ScrollAppendKind;

QImage rows(const QImage& page, int top, int count) { return page.copy(0, top, page.width(), count); }

QImage withFooter(QImage frame, const QImage& footer)
{
    QPainter(&frame).drawImage(0, frame.height() - footer.height(), footer);
    return frame;
}

struct Case {
    const char* name;
    std::vector<QImage> frames;
    std::vector<ScrollAppendResult> results;
    QImage expected; // null: only the results are checked
};

std::vector<Case> cases()
{
    const QImage page = noisePage(300, 1200, 1);
    const QImage footer = noisePage(300, 40, 2);
    auto at = [&](int offset) { return rows(page, offset, 600); };
    auto footed = [&](int offset) { return withFooter(at(offset), footer); };
    auto stripes = [](int phase) {
        QImage frame(300, 600, QImage::Format_RGB32);
        for (int y = 0; y < 600; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(frame.scanLine(y)), 300,
                        ((y + phase) / 10) % 2 ? qRgb(230, 230, 230) : qRgb(20, 20, 20));
        return frame;
    };
    QImage grey100(300, 600, QImage::Format_RGB32), grey120(300, 600, QImage::Format_RGB32);
    grey100.fill(qRgb(100, 100, 100));
    grey120.fill(qRgb(120, 120, 120));
    // Every row twice: the shifts 200 and 201 match the sampled rows equally well.
    const QImage doubled = noisePage(144, 1000, 3, true, 2);

    const auto first = ScrollAppendResult{Kind::first};
    const auto unmatched = ScrollAppendResult{Kind::unmatched};
    const auto appended = &ScrollAppendResult::appended;
    return {
        {"scrolling down", {at(0), at(120), at(260), at(400)}, {first, appended(120), appended(140), appended(140)},
         rows(page, 0, 1000)},
        {"fixed footer shows once at the bottom", {footed(0), footed(120), footed(260), footed(400)},
         {first, appended(120), appended(140), appended(140)}, withFooter(rows(page, 0, 1000), footer)},
        {"scrolling back adds only rows below the furthest", {at(0), at(200), at(100), at(300)},
         {first, appended(200), {Kind::revisited}, appended(100)}, rows(page, 0, 900)},
        {"back exactly to the furthest adds nothing", {at(0), at(200), at(100), at(200)},
         {first, appended(200), {Kind::revisited}, {Kind::revisited}}, rows(page, 0, 800)},
        {"still, then one-row jitter, then a scroll", {at(0), at(0), at(1), at(121)},
         {first, {Kind::unchanged}, {Kind::unchanged}, appended(121)}, rows(page, 0, 721)},
        {"uniform frames", {grey100, grey120}, {first, unmatched}, grey100},
        {"repeating stripes", {stripes(0), stripes(10)},
         {first, unmatched}, {}},
        {"shift of three quarters", {at(0), at(450)}, {first, unmatched}, rows(page, 0, 600)},
        {"frame of another size", {at(0), rows(page, 100, 500)}, {first, unmatched}, rows(page, 0, 600)},
        {"31 rows", {rows(page, 0, 31)}, {unmatched}, {}},
        {"taller than the limit", {QImage(200, 32001, QImage::Format_RGB32)}, {{Kind::limit}}, {}},
        {"exact tie takes the more negative shift", {rows(doubled, 0, 600), rows(doubled, 200, 600)},
         {first, appended(200)}, rows(doubled, 0, 800)},
    };
}

TEST(ScrollStitching, framesAreStitchedOrRefused)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        ScrollingImageAssembler assembler;
        std::vector<ScrollAppendResult> results;
        for (const QImage& frame : c.frames)
            results.push_back(assembler.append(frame));
        ASSERT_EQ(results.size(), c.results.size());
        for (std::size_t i = 0; i < results.size(); ++i)
            EXPECT_TRUE(results[i] == c.results[i])
                << "frame " << i << ": kind " << int(results[i].kind) << ", " << results[i].rows << " rows";
        if (c.expected.isNull())
            EXPECT_EQ(assembler.height(), results.front().kind == Kind::first ? 600 : 0);
        else
            EXPECT_TRUE(assembler.compose() == c.expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

TEST(ScrollStitching, growthStopsAtTheHeightLimit)
{
    // 300 new rows a frame on a 1000-row frame: the 104th would pass 32000 rows.
    const QImage page = noisePage(64, 32400, 4);
    ScrollingImageAssembler assembler;
    ASSERT_EQ(assembler.append(rows(page, 0, 1000)).kind, Kind::first);
    int offset = 0;
    while (offset + 300 + 1000 <= page.height() && assembler.height() + 300 <= ScrollingImageAssembler::maximumHeight) {
        offset += 300;
        ASSERT_EQ(assembler.append(rows(page, offset, 1000)), ScrollAppendResult::appended(300)) << offset;
    }
    const int height = assembler.height();
    EXPECT_EQ(assembler.append(rows(page, offset + 300, 1000)).kind, Kind::limit);
    EXPECT_EQ(assembler.height(), height);
    EXPECT_TRUE(assembler.compose() == rows(page, 0, height).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

} // namespace
