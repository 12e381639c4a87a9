#pragma once

// The tracking tables' clips, written once for all the boxes drawn on them, and «Отследить» run
// over every case of a table.

#include "TrackingChecks.h"
#include "recording/review/VideoBlurTracking.h"

#include <QTemporaryDir>
#include <future>
#include <iostream>
#include <map>
#include <tuple>

namespace tarnwick::test {

inline std::string caseName(const TrackingCase& c)
{
    QString name = c.target != TrackingTarget::squareOnTexture && c.target != TrackingTarget::squareOnFlat
                       ? QString("%1, %2, %3 px/frame").arg(targetName(c.target))
                       : QString("%1, %2 px of %3 px cells, %4, %5 px/frame")
                             .arg(targetName(c.target))
                             .arg(c.side)
                             .arg(c.cell);
    name = name.arg(c.tight ? "tight box" : "8 px margin").arg(c.speed);
    if (c.turn != 0)
        name += QString(", turning %1° in %2 frames").arg(c.turn).arg(c.frames);
    if (c.grow != 1)
        name += QString(", growing %1× in %2 frames").arg(c.grow).arg(c.frames);
    if (c.tilt != 0)
        name += QString(", its %1 edge %2° towards the camera in %3 frames")
                    .arg(c.sideways ? (c.tilt > 0 ? "right" : "left") : (c.tilt > 0 ? "top" : "bottom"))
                    .arg(std::abs(c.tilt))
                    .arg(c.frames);
    if (c.shear != 0)
        name += QString(", slanting %1 in %2 frames").arg(c.shear).arg(c.frames);
    if (c.scale != 1)
        name += QString(", at %1 of its size").arg(c.scale, 0, 'g', 2);
    return name.toStdString();
}

class Clips {
public:
    explicit Clips(const std::vector<TrackingCase>& table)
    {
        for (const auto& c : table)
            if (!clips_.count(key(c))) {
                TrackingClip clip(c);
                const QString file = clip.write(dir_.filePath(QString("%1.mp4").arg(clips_.size())));
                clips_.emplace(key(c), std::pair{std::move(clip), file});
            }
    }

    const TrackingClip& clip(const TrackingCase& c) const { return clips_.at(key(c)).first; }
    const QString& file(const TrackingCase& c) const { return clips_.at(key(c)).second; }

private:
    using Key = std::tuple<int, double, int, int, double, double, int, double, bool, double, double>;
    static Key key(const TrackingCase& c)
    {
        return {int(c.target), c.speed, c.cell, c.side, c.turn, c.grow, c.frames, c.tilt, c.sideways, c.shear, c.scale};
    }

    QTemporaryDir dir_;
    std::map<Key, std::pair<TrackingClip, QString>> clips_;
};

// One box drawn on the first frame and «Отследить» for every case, two at a time (each tracks
// on its own thread); the table of what came of it goes to the output.
inline std::vector<review::VideoBlurRegion> trackAll(const Clips& clips, const std::vector<TrackingCase>& table,
                                                     std::vector<TrackingScore>& scores)
{
    std::vector<review::VideoBlurRegion> results(table.size());
    scores.assign(table.size(), {});
    for (std::size_t i = 0; i < table.size(); i += 2) {
        std::vector<std::future<void>> running;
        for (std::size_t j = i; j < std::min(i + 2, table.size()); ++j)
            running.push_back(std::async(std::launch::async, [&, j] {
                const TrackingClip& clip = clips.clip(table[j]);
                results[j] = review::VideoBlurTracking::track(clips.file(table[j]), clip.region(table[j].tight), {}, {});
                scores[j] = score(clip, results[j]);
            }));
        for (auto& run : running)
            run.get();
    }
    std::cout << "| target | side | cells | box | px/frame | covered | lost | exposed |\n|---|---|---|---|---|---|---|---|\n";
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TrackingCase& c = table[i];
        const TrackingScore& s = scores[i];
        const bool square = c.target == TrackingTarget::squareOnTexture || c.target == TrackingTarget::squareOnFlat;
        std::cout << "| " << targetName(c.target) << " | " << (square ? std::to_string(c.side) : "-") << " | "
                  << (square ? std::to_string(c.cell) : "-") << " | " << (c.tight ? "tight" : "8 px") << " | "
                  << c.speed << " | " << s.covered << "/" << s.frames << " | " << s.lost << " | " << s.exposed
                  << " |\n";
    }
    return results;
}

} // namespace tarnwick::test
