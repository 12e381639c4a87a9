#include "recording/RecordingTables.h"

#include "platform/PrivateFiles.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::recording {

namespace {

using u64 = std::uint64_t;

constexpr std::uint32_t tag(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16
           | std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

// Boxes whose payload is boxes.
constexpr std::array containers{tag("moov"), tag("trak"), tag("mdia"), tag("minf"),
                                tag("stbl"), tag("mvex"), tag("moof"), tag("traf")};
// Tables of fixed-size entries after a version, flags and an entry count: type, bytes an entry.
constexpr std::array<std::pair<std::uint32_t, u64>, 6> tables{
    {{tag("stts"), 8}, {tag("ctts"), 8}, {tag("stsc"), 12}, {tag("stco"), 4}, {tag("co64"), 8}, {tag("stss"), 4}}};

class Reader {
public:
    explicit Reader(const QString& path) : fd_(opened(path))
    {
        struct stat info {};
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
            size_ = u64(info.st_size);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    u64 size() const { return size_; }
    // The big-endian number of `bytes` (4 or 8) at `offset`; nothing when the file ends before.
    std::optional<u64> number(u64 offset, int bytes, u64 end) const
    {
        std::array<uchar, 8> data {};
        if (offset > end || u64(bytes) > end - offset
            || ::pread(fd_, data.data(), size_t(bytes), off_t(offset)) != ssize_t(bytes))
            return std::nullopt;
        return bytes == 8 ? qFromBigEndian<quint64>(data.data()) : qFromBigEndian<quint32>(data.data());
    }

private:
    // A link is not followed; what is no regular file reads as an empty one.
    static int opened(const QString& path)
    {
        try {
            return platform::openForReading(path, platform::Links::refused);
        } catch (const platform::FileError&) {
            return -1;
        }
    }

    int fd_;
    u64 size_ = 0;
};

struct Walk {
    const Reader& file;
    std::map<u64, u64> trackSampleSize; // trex: a track's default sample size
    u64 fragmentSampleSize = 0;         // tfhd of the fragment's track, else its trex

    // Whether a count of samples, each at least `sampleSize` bytes (1 when unknown), fits the file.
    bool samplesFit(u64 count, u64 sampleSize) const
    {
        return count <= file.size() / std::max<u64>(sampleSize, 1);
    }

    // Whether the payload from `at` to `end` of a box of `type` holds what its counts say.
    bool leafFits(std::uint32_t type, u64 at, u64 end)
    {
        const auto word = [&](u64 offset) { return file.number(offset, 4, end); };
        const std::optional<u64> flagsWord = word(at);
        if (!flagsWord)
            return true; // cut off before its counts
        const u64 flags = *flagsWord & 0xffffff;
        for (const auto& [table, entry] : tables)
            if (type == table) {
                const std::optional<u64> count = word(at + 4);
                return !count || *count <= (end - at - 8) / entry;
            }
        if (type == tag("stsz")) {
            const std::optional<u64> size = word(at + 4), count = word(at + 8);
            if (!size || !count)
                return true;
            return *size == 0 ? *count <= (end - at - 12) / 4 : samplesFit(*count, *size);
        }
        if (type == tag("trex")) {
            if (const auto track = word(at + 4), size = word(at + 16); track && size)
                trackSampleSize[*track] = *size;
            return true;
        }
        if (type == tag("tfhd")) {
            const std::optional<u64> track = word(at + 4);
            const auto known = track ? trackSampleSize.find(*track) : trackSampleSize.end();
            fragmentSampleSize = known != trackSampleSize.end() ? known->second : 0;
            if (flags & 0x10) { // default sample size present, after the fields before it
                const u64 before = (flags & 0x01 ? 8 : 0) + (flags & 0x02 ? 4 : 0) + (flags & 0x08 ? 4 : 0);
                if (const auto size = word(at + 8 + before))
                    fragmentSampleSize = *size;
            }
            return true;
        }
        if (type == tag("trun")) {
            const std::optional<u64> count = word(at + 4);
            if (!count)
                return true;
            const u64 fixed = 8 + (flags & 0x01 ? 4 : 0) + (flags & 0x04 ? 4 : 0);
            const u64 perSample = 4 * u64(std::popcount(flags & 0xf00));
            if (perSample == 0) // every sample takes the fragment's default size
                return samplesFit(*count, fragmentSampleSize);
            return fixed <= end - at && *count <= (end - at - fixed) / perSample;
        }
        return true;
    }

    // Whether every box from `at` to `end` fits, `depth` levels down.
    bool boxesFit(u64 at, u64 end, int depth)
    {
        while (at < end) {
            const std::optional<u64> size32 = file.number(at, 4, end), type = file.number(at + 4, 4, end);
            if (!size32 || !type)
                return true; // a torn header ends what can be judged
            u64 header = 8, size = *size32;
            if (size == 1) {
                const std::optional<u64> large = file.number(at + 8, 8, end);
                if (!large)
                    return true;
                header = 16;
                size = *large;
            } else if (size == 0) {
                size = end - at;
            }
            if (size < header)
                return true; // garbage: FFmpeg stops here too
            const u64 boxEnd = size > end - at ? end : at + size; // a box cut off by the end
            const bool container = std::find(containers.begin(), containers.end(), *type) != containers.end();
            if (container ? depth < 8 && !boxesFit(at + header, boxEnd, depth + 1)
                          : !leafFits(std::uint32_t(*type), at + header, boxEnd))
                return false;
            at = boxEnd;
        }
        return true;
    }
};

} // namespace

bool sampleTablesFit(const QString& path)
{
    const Reader file(path);
    Walk walk{file, {}, 0};
    return walk.boxesFit(0, file.size(), 0);
}

} // namespace tarnwick::recording
