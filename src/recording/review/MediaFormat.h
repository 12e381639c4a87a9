#pragma once

#include "platform/TarnwickError.h"

#include <QFile>
#include <QString>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

// Owning handles of FFmpeg containers, shared by the exports of the review.
namespace tarnwick::review::media {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

// The file opened with its streams probed; throws `failure` when it cannot be read.
inline Input open(const QString& source, const QString& failure)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(source).constData(), nullptr, nullptr) < 0)
        throw TarnwickError(failure);
    Input input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        throw TarnwickError(failure);
    return input;
}

} // namespace tarnwick::review::media
