#pragma once

// The plain reading: takes a picture, gives the words the engine reads in it alone, the way the
// `tesseract` command reads it: the whole picture in colour, automatic page segmentation, no
// view of our own. Read once as it is and once inverted, so that light text on a dark ground
// is read as dark on light, each language apart and merged. Whatever another view leaves out,
// this reading still holds.

#include "render/recognition/ReadingStages.h"

#include <array>

namespace tarnwick::ScreenTextRecognizer::stages {

// The words of one polarity of a picture, in pixels of the picture.
struct PlainView {
    bool light = false; // read from the picture inverted: text lighter than its ground
    std::vector<WordRun> rows;
};

using PlainViews = std::array<PlainView, 2>; // dark text, then light

// A word another reading read this surely is not read again.
inline constexpr float heldConfidence = 60;

// The picture read plainly in the languages the recogniser reads (each apart where `reading`
// is corrected). The places in `readAlready` (pixels of the picture) are painted over with the
// ground beside them first: what another reading holds is not read twice. Only the box of
// what stands off the ground is read. Throws as detail::readLines does.
PlainViews plainReading(const QImage& image, Reading reading, const std::function<bool()>& isCancelled = {},
    const std::vector<QRect>& readAlready = {});

// `pieces` (boxes in pixels of the picture enlarged `factor` times) with the plain reading's
// words chosen among them: each word it read surely, and each word of a run it read as text
// on the whole, where none of theirs stands or where theirs read a part of it less surely;
// beside the word of theirs nearest it, before the words right of it.
std::vector<WordRun> withPlainWords(std::vector<WordRun> pieces, const PlainViews& plain, double factor);

} // namespace tarnwick::ScreenTextRecognizer::stages
