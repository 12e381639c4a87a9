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
    // White with a faint line every 37 rows: too little texture to match, and a 100-row
    // move changes under 0.6 % of the sampled grey.
    auto flatPage = [](int offset) {
        QImage frame(300, 600, QImage::Format_RGB32);
        for (int y = 0; y < 600; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(frame.scanLine(y)), 300,
                        (y + offset) % 37 ? qRgb(255, 255, 255) : qRgb(230, 230, 230));
        return frame;
    };
    QImage grey100(300, 600, QImage::Format_RGB32), grey120(300, 600, QImage::Format_RGB32);
    grey100.fill(qRgb(100, 100, 100));
    grey120.fill(qRgb(120, 120, 120));
    // Every row twice: the shifts 200 and 201 match the sampled rows equally well.
    const QImage doubled = noisePage(144, 1000, 3, true, 2);
    // Solid bars 3k rows high: the sampled rows of 100-row steps often see no
    // edge that tells 99 from 100.
    QImage bars(300, 3000, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0, grey = 0; y < bars.height();) {
        grey = (grey + 40 + int(random() % 170)) % 256;
        for (int end = std::min(bars.height(), y + 3 * (3 + int(random() % 18))); y < end; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(bars.scanLine(y)), 300, qRgb(grey, grey, grey));
    }

    const auto first = ScrollAppendResult{Kind::first};
    const auto unchanged = ScrollAppendResult{Kind::unchanged};
    const auto unmatched = ScrollAppendResult{Kind::unmatched};
    const auto appended = &ScrollAppendResult::appended;
    Case flat{"flat bars in 100-row steps", {rows(bars, 0, 600)}, {first}, bars};
    Case slow{"150 one-row steps on a 100-row area", {rows(page, 0, 100)}, {first}, rows(page, 0, 250)};
    for (int i = 1; i <= 24; ++i)
        flat.frames.push_back(rows(bars, 100 * i, 600)), flat.results.push_back(appended(100));
    for (int i = 1; i <= 150; ++i)
        slow.frames.push_back(rows(page, i, 100)), slow.results.push_back(appended(1));
    return {flat, slow,
        {"scrolling down", {at(0), at(120), at(260), at(400)}, {first, appended(120), appended(140), appended(140)},
         rows(page, 0, 1000)},
        {"fixed footer shows once at the bottom", {footed(0), footed(120), footed(260), footed(400)},
         {first, appended(120), appended(140), appended(140)}, withFooter(rows(page, 0, 1000), footer)},
        {"scrolling back adds only rows below the furthest", {at(0), at(200), at(100), at(300)},
         {first, appended(200), {Kind::revisited}, appended(100)}, rows(page, 0, 900)},
        {"still, then one row, then a scroll", {at(0), at(0), at(1), at(121)},
         {first, unchanged, appended(1), appended(120)}, rows(page, 0, 721)},
        {"blank until painted", {grey100, grey100, grey120, at(0), at(120), grey100},
         {first, unchanged, unmatched, first, appended(120), unmatched}, rows(page, 0, 720)},
        {"a flat page that moves is not matched, however little differs", {flatPage(0), flatPage(0), flatPage(100)},
         {first, unchanged, unmatched}, flatPage(0)},
        {"back exactly to the furthest adds nothing", {at(0), at(200), at(100), at(200)},
         {first, appended(200), {Kind::revisited}, {Kind::revisited}}, rows(page, 0, 800)},
        {"repeating stripes", {stripes(0), stripes(10)},
         {first, unmatched}, {}},
        {"a jump of 0.8 H is reported; scrolling back goes on", {at(0), at(480), at(240), at(480)},
         {first, {Kind::skipped}, appended(240), appended(240)}, rows(page, 0, 1080)},
        {"frame of another size", {at(0), rows(page, 100, 500)}, {first, unmatched}, rows(page, 0, 600)},
        {"31 rows", {rows(page, 0, 31)}, {unmatched}, {}},
        {"taller than the limit", {QImage(200, 32001, QImage::Format_RGB32)}, {{Kind::limit}}, {}},
        {"rows repeated twice: near ties settled on every row", {rows(doubled, 0, 600), rows(doubled, 200, 600)},
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
