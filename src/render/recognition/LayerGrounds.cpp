// Which lines are text: takes the lines kept, gives each its ground, and those that are no
// pocket of the ground itself nor a photo's texture lined up by chance, with how deep they
// stand off their ground.

#include "render/recognition/TextLayerStages.h"

#include "render/recognition/GreyImage.h"

#include <QHash>

#include <array>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

namespace {

// Letters of a line from lineCore rows up run together at most this many heights wide.
constexpr int stripWidth = 3;

// A line's ground: the levels of the ring round it and their median, its ink level, whether
// it stands on a plain fill, and whether it is a pocket of the ground itself.
struct Ground {
    bool known = false;
    std::vector<int> ring;
    int level = 0, inkLevel = 0;
    bool onFill = false, pocket = false;
};

// The levels of the ring within the line's own rows, left and right of it, past the
// antialiased edges of its first and last letters, which are no ground.
std::array<std::vector<int>, 2> besideLevels(const Layer& layer, const QRect& box, int ringWidth)
{
    std::array<std::vector<int>, 2> sides;
    for (int y = std::max(0, box.top()); y <= std::min(layer.h - 1, box.bottom()); ++y) {
        for (int x = std::max(0, box.left() - halo - ringWidth); x < box.left() - halo; ++x)
            sides[0].push_back(layer.level(x, y));
        for (int x = box.right() + 1 + halo; x <= std::min(layer.w - 1, box.right() + halo + ringWidth); ++x)
            sides[1].push_back(layer.level(x, y));
    }
    return sides;
}

// The ground: the median level of a ring round the line's box. A line of the ground's own
// level, or of the level of much of the ring, is the ground itself: the pockets of dark ground
// between the strokes of large light letters, the white between rows of dark text.
Ground groundOf(const Layer& layer, size_t l)
{
    const Line& line = layer.lines[l];
    Ground g;
    g.ring = layer.ringLevels(line.box);
    const std::vector<int> levels = layer.glyphLevels(line);
    if (g.ring.empty() || levels.empty())
        return g;
    g.known = true;
    g.level = median(g.ring);
    g.inkLevel = median(levels);
    // A line on a plain fill beside it, in its own rows, is kept though much of the ring is of
    // its level: a fill only a little taller than its light label (a button, a selected row)
    // ends within the ring above and below, and the page past it may be as light as the
    // label. Pockets of ground and a photo have no plain fill beside. A label may start next
    // to the frame of its list: where the ring is of a level or two, as a page, a row and a
    // frame are and a photo is not, the fill on one side is enough if it runs on along the
    // line's rows as a selected row does.
    const auto plainSides = [&](int ringWidth) {
        int sides = 0;
        for (const std::vector<int>& beside : besideLevels(layer, line.box, ringWidth))
            sides += !beside.empty() && plainAt(beside, g.level);
        return sides;
    };
    const int ringWidth = std::max(2, line.box.height() / 4);
    g.onFill = plainSides(ringWidth) == 2 || (plainSides(2 * line.box.height()) == 1 && layer.flatRing(line.box));
    // On a photo the ring's pixels of the line's level are as likely the photo's lights round
    // light words (or its darks round dark ones): round a line of many letters there, only
    // letters of another line make it a pocket of ground.
    const bool photoRing = line.count >= fewGlyphs && !layer.flatRing(line.box);
    qsizetype likeInk = 0;
    const QRect ring = line.box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth).intersected(QRect(0, 0, layer.w, layer.h));
    const int fill = layer.fillOf(line.box);
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        for (int x = ring.left(); x <= ring.right(); ++x) {
            if (line.box.contains(x, y) || std::abs(layer.level(x, y) - g.inkLevel) >= groundContrast || !layer.ofGround(fill, x, y))
                continue;
            const int id = layer.at(x, y);
            likeInk += !photoRing || (id > 0 && layer.shapes[size_t(id - 1)].glyph && layer.shapes[size_t(id - 1)].line != int(l));
        }
    g.pocket = std::abs(g.inkLevel - g.level) < groundContrast || (4 * likeInk >= qsizetype(g.ring.size()) && !g.onFill);
    return g;
}

// Whether a line's letters stand along one sloping baseline, its box twice as tall as they
// are: a page turned a degree or two. A photo's shapes chained as a line stand at any height.
bool turned(const Layer& layer, const Line& line)
{
    if (line.count < fewGlyphs || line.box.height() <= 2 * line.glyphHeight)
        return false;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i : line.shapes) {
        const double x = layer.shapes[i].box.center().x(), y = layer.shapes[i].box.bottom();
        n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double slope = (n * sxy - sx * sy) / std::max(1.0, n * sxx - sx * sx), base = (sy - slope * sx) / n;
    const auto onBaseline = std::count_if(line.shapes.begin(), line.shapes.end(), [&](size_t i) {
        return 4 * std::abs(layer.shapes[i].box.bottom() - (base + slope * layer.shapes[i].box.center().x())) <= line.glyphHeight;
    });
    return 3 * onBaseline >= 2 * line.count;
}

// Whether a line kept is text, judged on its ground: what a photo's shapes lined up by chance
// look like, where the letters of a word do not.
class Judge {
public:
    Judge(Layer& layer, std::vector<Ground>& grounds)
        : layer_(layer)
        , shapes_(layer.shapes)
        , grounds_(grounds)
        , common_(mostCommonGrey(layer.grey))
    {
    }

    // Whether line `l` is text; where shapes of a photo chained onto it were left out, the
    // line is judged again as it now stands (`again`).
    bool text(size_t l, bool& again)
    {
        l_ = l;
        const Line& line = layer_.lines[l];
        const Ground& g = grounds_[l];
        ground_ = g.level;
        strongest_ = 0;
        for (size_t i : line.shapes)
            if (shapes_[i].glyph)
                strongest_ = std::max(strongest_, Layer::depth(line.light, shapes_[i].level, ground_));
        const auto [inkPixels, deep] = atLevel(nullptr);
        onPlain_ = plainAt(g.ring, ground_) || (turned(layer_, line) && layer_.plainBetweenShapes(line.box));
        // A line on a plain ground beside it in its own rows, though a band of another level
        // runs above it (an editor's current line), stands on no photo: syntax colours there
        // are text of several colours.
        if (line.glyphHeight >= lineCore && 4 * deep < inkPixels && !onPlain_ && !g.onFill) {
            again = trimmedToLetters();
            return false;
        }
        // A word or two is little to go by: its letters stand at the text's one level, where
        // shapes of a photo lined up by chance shade from light to dark. Thin strokes of small
        // text on a plain ground are let be, and so are the letters of one thin stroke there
        // ("l", "i" at 1×), which smoothing leaves grey.
        std::vector<int> letterDepths;
        for (size_t i : line.shapes)
            if (shapes_[i].glyph && 2 * shapes_[i].box.height() >= line.glyphHeight && !(onPlain_ && shapes_[i].box.width() <= thinStroke))
                letterDepths.push_back(Layer::depth(line.light, shapes_[i].level, ground_));
        letters_ = int(letterDepths.size());
        const int deepest = letterDepths.empty() ? 0 : *std::max_element(letterDepths.begin(), letterDepths.end());
        const auto ofInkLevel = std::count_if(letterDepths.begin(), letterDepths.end(), [&](int d) { return 4 * d >= 3 * deepest; });
        if (!onPlain_ && letters_ < fewGlyphs && 4 * ofInkLevel < 3 * letters_)
            return false;
        if (!onPlain_ && (strokesOrCutOff() || strips() || strewn()))
            return false;
        flat_ = layer_.flatRing(line.box);
        if (letters_ >= fewGlyphs || flat_)
            return true;
        // A few letters on a photo: over a photo a shape or two lined up by chance is as
        // likely its texture, text there is a word of letters at least. Small signs are judged
        // by the ground between the shapes round them, so that one between two words of code
        // stands on its page.
        return sharedHeights() && !acrossOtherPolarity()
            && (g.onFill || letters_ >= 3 || (line.glyphHeight < lineCore && layer_.plainBetweenShapes(line.box)));
    }

    bool onPlain() const { return onPlain_; }
    bool flat() const { return flat_; }

private:
    const Line& line() const { return layer_.lines[l_]; }

    // The line's glyph pixels and those of them within a quarter of the strongest depth; each
    // glyph's, by its place in the line, in `ofShape`.
    std::pair<int64_t, int64_t> atLevel(std::vector<std::pair<int64_t, int64_t>>* ofShape) const
    {
        const Line& line = this->line();
        QHash<size_t, size_t> place;
        for (size_t k = 0; ofShape && k < line.shapes.size(); ++k)
            place.insert(line.shapes[k], k);
        std::pair<int64_t, int64_t> all;
        for (int y = line.box.top(); y <= line.box.bottom(); ++y)
            for (int x = line.box.left(); x <= line.box.right(); ++x) {
                const int id = layer_.at(x, y);
                if (!id || !shapes_[size_t(id - 1)].glyph || shapes_[size_t(id - 1)].line != int(l_))
                    continue;
                const bool deep = 4 * Layer::depth(line.light, layer_.level(x, y), ground_) >= 3 * strongest_;
                ++all.first;
                all.second += deep;
                if (ofShape) {
                    const size_t k = place.value(size_t(id - 1));
                    ++(*ofShape)[k].first;
                    (*ofShape)[k].second += deep;
                }
            }
        return all;
    }

    // Text is drawn in one colour: from glyphs of lineCore rows up, a quarter of its pixels
    // and more stand within a quarter of the strongest depth. A photo's shapes shade off from
    // a few extreme pixels, on a ground that is no plain colour either. Shapes of the photo
    // chained onto a line of letters (the bright cheek beside a caption), taller than its
    // letters, outweigh a few small ones. Where most of its glyphs, a word's worth and more,
    // are of the text's one level, the line is those letters alone: whether it was trimmed.
    bool trimmedToLetters()
    {
        Line& line = layer_.lines[l_];
        std::vector<std::pair<int64_t, int64_t>> ofShape(line.shapes.size());
        atLevel(&ofShape);
        std::vector<size_t> ofLevel, offLevel;
        std::vector<int> letterHeights;
        for (size_t k = 0; k < line.shapes.size(); ++k)
            if (const size_t i = line.shapes[k]; shapes_[i].glyph) {
                const bool of = 4 * ofShape[k].second >= ofShape[k].first;
                (of ? ofLevel : offLevel).push_back(i);
                if (of)
                    letterHeights.push_back(shapes_[i].box.height());
            }
        if (offLevel.empty() || int(ofLevel.size()) < fewGlyphs || ofLevel.size() <= offLevel.size())
            return false;
        const int letterHeight = median(letterHeights);
        if (std::any_of(offLevel.begin(), offLevel.end(), [&](size_t i) { return 2 * shapes_[i].box.height() < 3 * letterHeight; }))
            return false;
        for (size_t i : offLevel)
            layer_.drop(i);
        // The marks only the shapes of the photo reached go with them.
        QRect letters;
        for (size_t i : ofLevel)
            letters = letters.united(shapes_[i].box);
        const QRect reach = letters.adjusted(-letterHeight, -letterHeight, letterHeight, letterHeight);
        for (size_t i : line.shapes)
            if (!shapes_[i].glyph && !shapes_[i].box.intersects(reach))
                shapes_[i].line = -1;
        std::erase_if(line.shapes, [&](size_t i) { return shapes_[i].line != int(l_); });
        layer_.rebox(line);
        line.count = int(ofLevel.size());
        line.glyphHeight = letterHeight;
        grounds_[l_] = groundOf(layer_, l_);
        return true;
    }

    // A few shapes on a photo, most of them strokes (a zipper's teeth, a tower's lattice,
    // streaks of hair) or cut off flat where the photo ends on the page, are the photo's: in a
    // word most letters are wider than a stroke, and a letter ends on the ground round it. The
    // page is the picture's most common level; a flat patch of the photo itself (a stripe of a
    // flag) over a letter cuts nothing off.
    bool strokesOrCutOff() const
    {
        if (letters_ >= fewGlyphs)
            return false;
        int strokes = 0, cutOff = 0;
        const auto rowOff = [&](int y, const QRect& box) {
            if (y < 0 || y >= layer_.h)
                return false;
            const uchar* row = layer_.grey.constScanLine(y);
            const auto [low, high] = std::minmax_element(row + box.left(), row + box.right() + 1);
            return *high - *low <= plainGround && std::abs((*low + *high) / 2 - ground_) >= groundContrast
                && std::abs((*low + *high) / 2 - common_) <= plainGround;
        };
        for (size_t i : line().shapes) {
            const Shape& s = shapes_[i];
            if (!s.glyph || 2 * s.box.height() < line().glyphHeight)
                continue;
            // A stroke: thin for its height, or, twice as tall as wide, hardly wider than the
            // pixels it has in most of its rows (a strand of embroidery, a strut); a letter is
            // wider than its strokes, its rows cross two of them or a gap.
            std::vector<int> across;
            for (int y = s.box.top(); y <= s.box.bottom(); ++y) {
                int pixels = 0;
                for (int x = s.box.left(); x <= s.box.right(); ++x)
                    pixels += layer_.at(x, y) == int(i) + 1;
                if (pixels > 0)
                    across.push_back(pixels);
            }
            const bool oneStroke = !across.empty() && 2 * s.box.width() <= 3 * median(across) && 2 * s.box.width() < s.box.height();
            strokes += 5 * s.box.width() <= s.box.height() || oneStroke;
            cutOff += rowOff(s.box.bottom() + 1, s.box) || rowOff(s.box.top() - 1, s.box);
        }
        return 2 * strokes >= letters_ || 2 * cutOff > letters_;
    }

    // Letters from lineCore rows up stand apart, each about as wide as tall, a few run
    // together at most; a photo's strip of shade (a horizon, a fold) is a shape many times as
    // wide as tall. A line that is mostly such shapes is the photo's.
    bool strips() const
    {
        if (line().glyphHeight < lineCore)
            return false;
        int64_t across = 0, strips = 0;
        for (size_t i : line().shapes)
            if (shapes_[i].glyph) {
                const QRect& box = shapes_[i].box;
                across += box.width();
                strips += box.width() > stripWidth * std::max(box.height(), line().glyphHeight) ? box.width() : 0;
            }
        return 2 * strips > across;
    }

    // The letters of a word stand closer than their height, and so do words; a few shapes that
    // mostly stand a height apart and more are specks and streaks of a photo strewn along a
    // row. Beside the words of a line they may be what is left of a word the photo's lights
    // ran into, or marks of the line.
    bool strewn() const
    {
        const Line& line = this->line();
        if (letters_ >= fewGlyphs || std::any_of(layer_.lines.begin(), layer_.lines.end(), [&](const Line& other) {
                const int reach = joinGap * other.glyphHeight;
                return &other != &line && other.kept && other.light == line.light && other.count > line.count && onOneLine(other.box, line.box)
                    && other.box.adjusted(-reach, 0, reach, 0).intersects(line.box);
            }))
            return false;
        std::vector<QRect> boxes;
        for (size_t i : line.shapes)
            if (shapes_[i].glyph)
                boxes.push_back(shapes_[i].box);
        std::sort(boxes.begin(), boxes.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
        std::vector<int> gaps;
        int right = -1;
        for (const QRect& box : boxes) {
            if (right >= 0)
                gaps.push_back(box.left() - right - 1);
            right = std::max(right, box.right());
        }
        return !gaps.empty() && median(gaps) >= line.glyphHeight;
    }

    // Letters come in a height or two: small ones, and capitals with ascenders; most letters
    // of a word share their height with another. Streaks and stripes of a photo lined up
    // stand each as tall as they happen to be.
    bool sharedHeights() const
    {
        if (letters_ < leastRow)
            return true;
        std::vector<int> heights;
        for (size_t i : line().shapes)
            if (shapes_[i].glyph && 2 * shapes_[i].box.height() >= line().glyphHeight)
                heights.push_back(shapes_[i].box.height());
        const int near = std::max(2, line().glyphHeight / 8);
        int shared = 0;
        for (size_t k = 0; k < heights.size(); ++k)
            shared += std::any_of(heights.begin(), heights.end(), [&](const int& other) {
                return &other != &heights[k] && std::abs(other - heights[k]) <= near;
            });
        return 2 * shared >= int(heights.size());
    }

    // Text of one polarity stands on the ground of the other: a few shapes on a photo across a
    // line of more letters of the other polarity are its texture (or the shadow of its
    // letters: as wide and tall within half a height, and of the ground's level itself).
    bool acrossOtherPolarity() const
    {
        const Line& line = this->line();
        return std::any_of(layer_.lines.begin(), layer_.lines.end(), [&](const Line& other) {
            const QRect common = other.box.intersected(line.box);
            const qint64 least = std::min(qint64(other.box.width()) * other.box.height(), qint64(line.box.width()) * line.box.height());
            const int near = line.box.height() / 2;
            const bool shadow = grounds_[size_t(&other - layer_.lines.data())].pocket && std::abs(other.box.left() - line.box.left()) <= near
                && std::abs(other.box.right() - line.box.right()) <= near && std::abs(other.box.top() - line.box.top()) <= near
                && std::abs(other.box.bottom() - line.box.bottom()) <= near;
            return &other != &line && other.light != line.light && other.count > line.count && !common.isEmpty()
                && 2 * qint64(common.width()) * common.height() >= least && other.kept && !shadow;
        });
    }

    Layer& layer_;
    std::vector<Shape>& shapes_;
    std::vector<Ground>& grounds_;
    const int common_;
    size_t l_ = 0;
    int ground_ = 0, strongest_ = 0, letters_ = 0;
    bool onPlain_ = false, flat_ = false;
};

// Words over a photo stand off it more than its texture does: a line on a photo round words
// of the other polarity that stand further off their ground is the photo's texture round them
// (the dark grain round white words), not text they interleave with. And a few shapes on a
// photo are a word only where they stand off the photo as the picture's text does: far
// fainter than its lines of many letters, they are specks of the photo lined up.
void dropTexture(const Layer& layer, std::vector<Laid>& laid, TextLayer& out)
{
    std::vector<bool> texture(laid.size(), false);
    for (size_t a = 0; a < laid.size(); ++a) {
        const Line& line = layer.lines[laid[a].line];
        for (size_t b = 0; b < laid.size() && !texture[a] && !laid[a].plainRing && !laid[a].flatRing; ++b) {
            const Line& words = layer.lines[laid[b].line];
            texture[a] = words.light != line.light && words.count >= leastRow && inside(words.box, line.box)
                && line.box.height() >= 2 * words.box.height() && laid[b].depth > laid[a].depth;
        }
    }
    int textDepth = 0;
    for (const Laid& each : laid)
        if (layer.lines[each.line].count >= fewGlyphs && !each.plainRing)
            textDepth = std::max(textDepth, each.depth);
    for (size_t a = 0; a < laid.size(); ++a)
        if (layer.lines[laid[a].line].count < fewGlyphs && !laid[a].plainRing && 2 * laid[a].depth < textDepth)
            texture[a] = true;
    for (size_t a = laid.size(); a-- > 0;)
        if (texture[a]) {
            laid.erase(laid.begin() + qsizetype(a));
            out.lines.erase(out.lines.begin() + qsizetype(a));
        }
}

} // namespace

std::vector<Laid> textLines(Layer& layer, TextLayer& out)
{
    // Each line's ground, ahead of judging any: the shadow of a line's letters, a line of the
    // other polarity across it, counts against it only where it is no pocket of ground.
    std::vector<Ground> grounds(layer.lines.size());
    for (size_t l = 0; l < layer.lines.size(); ++l)
        if (layer.lines[l].kept)
            grounds[l] = groundOf(layer, l);
    // A glyph alone is laid only as deep as the page's text, two fifths of it at least: the
    // corner of a pale frame is no letter.
    std::vector<int> textDepths;
    for (size_t l = 0; l < layer.lines.size(); ++l)
        if (layer.lines[l].kept && layer.lines[l].count >= leastRow && grounds[l].known && !grounds[l].pocket)
            textDepths.push_back(std::abs(grounds[l].inkLevel - grounds[l].level));
    const int textDepth = textDepths.empty() ? 0 : median(textDepths);
    std::vector<Laid> laid;
    Judge judge(layer, grounds);
    for (size_t l = 0; l < layer.lines.size(); ++l) {
        const Line& line = layer.lines[l];
        const Ground& g = grounds[l];
        if (!line.kept || !g.known || g.pocket || (line.lone && 5 * std::abs(g.inkLevel - g.level) < 2 * textDepth))
            continue;
        bool again = false;
        if (!judge.text(l, again)) {
            l -= again;
            continue;
        }
        out.lines.push_back({line.box, line.light, !judge.flat(), line.lone});
        laid.push_back({l, g.level, std::abs(g.inkLevel - g.level), judge.onPlain(), judge.flat()});
    }
    dropTexture(layer, laid, out);
    return laid;
}

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
