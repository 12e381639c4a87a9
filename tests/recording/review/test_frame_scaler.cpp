#include "recording/review/FrameScaler.h"

#include <gtest/gtest.h>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

using tarnwick::review::media::FrameScaler;

namespace {

constexpr std::uint8_t guardByte = 0xA5;
constexpr int guardBytes = 128;

// A source picture of one flat colour in its own padded frame, as a decoder or a grab gives it.
struct Source {
    AVFrame* frame = av_frame_alloc();
    Source(int width, int height, AVPixelFormat format)
    {
        frame->width = width;
        frame->height = height;
        frame->format = format;
        av_frame_get_buffer(frame, 0);
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        for (int p = 0; p < 4 && frame->data[p]; ++p) {
            const int rows = p == 0 || p == 3 ? height : -((-height) >> d->log2_chroma_h);
            // Mid grey in every format: luma and chroma 128, BGRA 128,128,128,255.
            std::fill_n(frame->data[p], std::size_t(frame->linesize[p]) * rows, std::uint8_t(128));
        }
    }
    ~Source() { av_frame_free(&frame); }
};

// The target's planes laid out with exactly their picture's bytes, `slack` bytes between rows and
// guard bytes after the last row of each plane: what a QImage, a cv::Mat or a band of a frame is.
struct Target {
    std::vector<std::vector<std::uint8_t>> planes;
    std::uint8_t* data[4] = {};
    int stride[4] = {};
    int rowBytes[4] = {};
    int rows[4] = {};

    // With `lines`, each plane's stride is its line there instead.
    Target(int width, int height, AVPixelFormat format, int slack, const int* lines = nullptr)
    {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        planes.resize(std::size_t(av_pix_fmt_count_planes(format)));
        for (std::size_t p = 0; p < planes.size(); ++p) {
            rowBytes[p] = av_image_get_linesize(format, width, int(p));
            stride[p] = lines ? lines[p] : rowBytes[p] + slack;
            rows[p] = p == 0 || p == 3 ? height : -((-height) >> d->log2_chroma_h);
            planes[p].assign(std::size_t(stride[p]) * rows[p] + guardBytes, guardByte);
            data[p] = planes[p].data();
        }
    }

    // Guard bytes after the last row that changed.
    int spilledPastRows() const
    {
        int spilled = 0;
        for (std::size_t p = 0; p < planes.size(); ++p)
            for (std::size_t i = std::size_t(stride[p]) * rows[p]; i < planes[p].size(); ++i)
                spilled += planes[p][i] != guardByte;
        return spilled;
    }

    // Bytes outside the picture that changed, and picture bytes left unwritten.
    std::pair<int, int> damage() const
    {
        int outside = 0, unwritten = 0;
        for (std::size_t p = 0; p < planes.size(); ++p)
            for (std::size_t i = 0; i < planes[p].size(); ++i) {
                const int row = int(i / std::size_t(stride[p])), column = int(i % std::size_t(stride[p]));
                const bool inside = row < rows[p] && column < rowBytes[p];
                if (!inside && planes[p][i] != guardByte)
                    ++outside;
                if (inside && planes[p][i] == guardByte)
                    ++unwritten;
            }
        return {outside, unwritten};
    }
};

} // namespace

// libswscale writes whole groups of 16 pixels; none of it may land outside the picture.
TEST(FrameScaler, WritesExactlyThePictureForEveryWidth)
{
    struct Case {
        const char* name;
        AVPixelFormat from;
        AVPixelFormat to;
        int flags;
        int extraWidth; // the source is this much wider than the target: a fitted, scaled copy
    };
    const Case cases[] = {
        {"decoded picture to image", AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA, SWS_AREA, 0},
        {"decoded picture to tracker", AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24, SWS_AREA, 0},
        {"grab to encoder", AV_PIX_FMT_BGRA, AV_PIX_FMT_YUV420P, SWS_BILINEAR, 0},
        {"blurred band to picture", AV_PIX_FMT_BGRA, AV_PIX_FMT_YUV420P, SWS_BICUBIC, 0},
        {"fitted grab", AV_PIX_FMT_BGRA, AV_PIX_FMT_BGRA, SWS_BILINEAR, 7},
        {"thumbnail", AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA, SWS_AREA, 31},
    };
    for (const Case& c : cases)
        for (int height : {1, 2, 3, 17})
            for (int width = 1; width <= 130; ++width)
                for (int slack : {0, 12}) {
                    SCOPED_TRACE(testing::Message() << c.name << ' ' << width << "×" << height << " slack " << slack);
                    Source source(width + c.extraWidth, height + (c.extraWidth ? 3 : 0), c.from);
                    Target target(width, height, c.to, slack);
                    FrameScaler scaler;
                    ASSERT_TRUE(scaler.prepare(QSize(source.frame->width, source.frame->height), c.from,
                                               QSize(width, height), c.to, c.flags));
                    ASSERT_TRUE(scaler.scale(source.frame->data, source.frame->linesize, target.data, target.stride));
                    const auto [outside, unwritten] = target.damage();
                    ASSERT_EQ(outside, 0) << "bytes written outside the picture";
                    ASSERT_EQ(unwritten, 0) << "picture bytes left as they were";
                }
}

TEST(FrameScaler, FollowsAChangeOfSizeAndRefusesAnEmptyPicture)
{
    FrameScaler scaler;
    for (const QSize size : {QSize(680, 520), QSize(1001, 501), QSize(16, 16), QSize(1283, 719)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "×" << size.height());
        Source source(size.width(), size.height(), AV_PIX_FMT_YUV420P);
        Target target(size.width(), size.height(), AV_PIX_FMT_BGRA, 0);
        ASSERT_TRUE(scaler.prepare(size, AV_PIX_FMT_YUV420P, size, AV_PIX_FMT_BGRA, SWS_AREA));
        ASSERT_TRUE(scaler.scale(source.frame->data, source.frame->linesize, target.data, target.stride));
        EXPECT_EQ(target.damage(), std::make_pair(0, 0));
        const std::uint8_t* first = target.data[0];
        EXPECT_NEAR(first[0], 128, 3);
        EXPECT_EQ(first[3], 255);
    }
    EXPECT_EQ(scaler.prepare(QSize(0, 10), AV_PIX_FMT_BGRA, QSize(10, 10), AV_PIX_FMT_BGRA, SWS_AREA), nullptr);
    std::uint8_t* none[4] = {};
    const int strides[4] = {};
    const std::uint8_t* const nothing[4] = {};
    EXPECT_FALSE(scaler.scale(nothing, strides, none, strides));
}

// In place, the spill stays inside each line's padding from padLines; lines without that room
// take the way through the scaler's frame and get exactly the picture.
TEST(FrameScaler, WritesInPlaceOnlyWhereTheLinesHaveRoom)
{
    for (int height : {2, 3, 17})
        for (int width = 1; width <= 130; ++width) {
            SCOPED_TRACE(testing::Message() << width << "×" << height);
            Source source(width, height, AV_PIX_FMT_BGRA);
            FrameScaler scaler;
            ASSERT_TRUE(scaler.prepare(QSize(width, height), AV_PIX_FMT_BGRA, QSize(width, height), AV_PIX_FMT_YUV420P,
                                       SWS_BILINEAR));
            AVFrame* frame = av_frame_alloc();
            frame->format = AV_PIX_FMT_YUV420P;
            frame->width = width;
            ASSERT_TRUE(FrameScaler::padLines(frame));
            Target padded(width, height, AV_PIX_FMT_YUV420P, 0, frame->linesize);
            av_frame_free(&frame);
            ASSERT_TRUE(scaler.scaleInPlace(source.frame->data, source.frame->linesize, padded.data, padded.stride));
            EXPECT_EQ(padded.spilledPastRows(), 0) << "bytes written below the last line";
            EXPECT_EQ(padded.damage().second, 0) << "picture bytes left as they were";

            Target tight(width, height, AV_PIX_FMT_YUV420P, 0);
            ASSERT_TRUE(scaler.scaleInPlace(source.frame->data, source.frame->linesize, tight.data, tight.stride));
            ASSERT_EQ(tight.damage(), std::make_pair(0, 0)) << "bytes outside the picture, picture bytes unwritten";
        }
}

// What scaleInPlace relies on: every line of a frame laid out by padLines holds whole groups of
// rowGroup pixels, in each format the program converts into. Lines only rounded to 64 bytes
// fall short for packed RGB (a 17-pixel BGR24 line then has room for 21 pixels, not 64).
TEST(FrameScaler, PaddedLinesHoldWholeGroupsInEveryFormat)
{
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA, AV_PIX_FMT_BGR24, AV_PIX_FMT_GRAY8})
        for (int width = 1; width <= 300; ++width) {
            SCOPED_TRACE(testing::Message() << av_get_pix_fmt_name(format) << ' ' << width);
            AVFrame* frame = av_frame_alloc();
            frame->format = format;
            frame->width = width;
            ASSERT_TRUE(FrameScaler::padLines(frame));
            const int groups = (width + FrameScaler::rowGroup - 1) / FrameScaler::rowGroup;
            for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
                ASSERT_GE(frame->linesize[plane], av_image_get_linesize(format, groups * FrameScaler::rowGroup, plane))
                    << "plane " << plane;
                ASSERT_EQ(frame->linesize[plane] % 64, 0) << "plane " << plane;
            }
            av_frame_free(&frame);
        }
}
