// The text of a picture alone: takes its grey levels, gives its lines of glyphs of either
// polarity drawn dark on a light paper, each at the contrast it has. Fills, frames, separator
// lines and the edges of a photo are no glyphs and stay out, so they neither read as text nor
// set its size. The stages are in TextLayerStages.h; this file lays what they find.

#include "render/recognition/TextLayerStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <array>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace layer {

bool plainAt(const std::vector<int>& levels, int level)
{
    const auto plain = std::count_if(levels.begin(), levels.end(), [&](int v) { return std::abs(v - level) <= plainGround; });
    return 10 * plain >= 9 * qsizetype(levels.size());
}

Layer::Layer(const QImage& picture)
    : grey(picture)
    , w(picture.width())
    , h(picture.height())
    , fills(fillInk(picture))
    , label(size_t(w) * size_t(h), 0)
{
}

void Layer::drop(size_t i)
{
    shapes[i].glyph = false;
    shapes[i].line = -1;
}

void Layer::rebox(Line& line) const
{
    line.box = QRect();
    for (size_t i : line.shapes)
        line.box = line.box.united(shapes[i].box);
}

int Layer::fillOf(const QRect& box) const
{
    if (fills.holder.empty())
        return -1;
    const QPoint c = box.center();
    return fills.holder[size_t(std::clamp(c.y(), 0, h - 1)) * size_t(w) + size_t(std::clamp(c.x(), 0, w - 1))];
}

bool Layer::ofGround(int fill, int x, int y) const { return fill < 0 || fills.holder[size_t(y) * size_t(w) + size_t(x)] == fill; }

std::vector<int> Layer::ringLevels(const QRect& box) const
{
    const int ringWidth = std::max(2, box.height() / 4);
    const QRect ring = box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth).intersected(QRect(0, 0, w, h));
    std::vector<int> levels;
    for (int fill = fillOf(box);; fill = -1) {
        for (int y = ring.top(); y <= ring.bottom(); ++y) {
            const bool across = y < box.top() || y > box.bottom();
            for (int x = ring.left(); x <= ring.right(); ++x) {
                if (!across && x == box.left())
                    x = box.right() + 1;
                if (x <= ring.right() && ofGround(fill, x, y))
                    levels.push_back(level(x, y));
            }
        }
        if (!levels.empty() || fill < 0)
            return levels;
    }
}

bool Layer::plainRing(const QRect& box) const
{
    const std::vector<int> ring = ringLevels(box);
    return ring.empty() || plainAt(ring, median(ring));
}

bool Layer::flatRing(const QRect& box) const
{
    const std::vector<int> ring = ringLevels(box);
    if (ring.empty())
        return true;
    // Nine in ten of its pixels within two plain grounds.
    std::array<int, 256> histogram{};
    for (int v : ring)
        ++histogram[size_t(v)];
    qsizetype covered = 0;
    std::array<int, 257> below{}; // pixels under each level
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t v = 0; v < 256; ++v)
            below[v + 1] = below[v] + histogram[v];
        int best = 0, bestCount = -1;
        for (int level = 0; level < 256; ++level) {
            const int count = below[size_t(std::min(255, level + plainGround) + 1)] - below[size_t(std::max(0, level - plainGround))];
            if (count > bestCount)
                best = level, bestCount = count;
        }
        covered += bestCount;
        for (int v = std::max(0, best - plainGround); v <= std::min(255, best + plainGround); ++v)
            histogram[size_t(v)] = 0;
    }
    return 10 * covered >= 9 * qsizetype(ring.size());
}

bool Layer::plainBetweenShapes(const QRect& box) const
{
    const int ringWidth = std::max(3, box.height() / 4);
    const QRect ring = box.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth).intersected(QRect(0, 0, w, h));
    const auto free = [&](int x, int y) {
        for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny)
            for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx)
                if (at(nx, ny))
                    return false;
        return true;
    };
    std::vector<int> levels;
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        for (int x = ring.left(); x <= ring.right(); ++x)
            if (!box.adjusted(-1, -1, 1, 1).contains(x, y) && free(x, y))
                levels.push_back(level(x, y));
    return levels.empty() || plainAt(levels, median(levels));
}

std::vector<int> Layer::glyphLevels(const Line& line) const
{
    std::vector<int> levels;
    for (size_t i : line.shapes)
        if (shapes[i].glyph)
            levels.push_back(shapes[i].level);
    return levels;
}

namespace {

// The line laid on the paper: its shapes and the pixels round them at their own contrast, so
// antialiased edges stay as drawn, while the ground (a button's fill, a photo) and whatever
// is no part of the line turn to paper. A faint line on a plain ground beside lines twice as
// deep (`deepest`) is raised to their depth: a light grey time under black words falls to the
// paper's side of the engine's one threshold for the block. On a photo a faint line is as
// likely its texture, and stays faint; lines of about one depth pass the threshold together
// as drawn. The ground's own play (the shading of a bubble) is not raised with it: depths
// within the plain ground's range stay paper.
class Laying {
public:
    Laying(const Layer& layer, QImage& view, int paper)
        : layer_(layer)
        , view_(view)
        , paper_(paper)
        , ofLine_(layer.shapes.size(), 0)
    {
    }

    void lay(const Laid& each, int deepest)
    {
        const Line& line = layer_.lines[each.line];
        for (size_t i : line.shapes)
            ofLine_[i] = 1;
        for (size_t i : line.crossing)
            ofLine_[i] = 1;
        area_ = line.box.adjusted(-halo, -halo, halo, halo).intersected(QRect(0, 0, layer_.w, layer_.h));
        groundAt_ = groundsUnder(line, each);
        const std::vector<uint8_t> near = haloRound();
        // A line in a fill keeps to it: past a selection's edge the page is no ink.
        const int fill = layer_.fillOf(line.box);
        const bool raised = each.plainRing && 2 * each.depth < deepest;
        const int floor = raised ? plainGround : 0;
        const int toDepth = raised ? deepest : 1, fromDepth = raised ? std::max(each.depth - plainGround, 1) : 1;
        const int inkLevel = line.light ? each.groundLevel + each.depth : each.groundLevel - each.depth;
        int strongest = 0;
        for (size_t i : line.shapes)
            strongest = std::max(strongest, Layer::depth(line.light, layer_.shapes[i].level, each.groundLevel));
        const int aw = area_.width();
        for (int y = area_.top(); y <= area_.bottom(); ++y) {
            uchar* out = view_.scanLine(y);
            for (int x = area_.left(); x <= area_.right(); ++x) {
                const size_t k = size_t(y - area_.top()) * size_t(aw) + size_t(x - area_.left());
                const int id = layer_.at(x, y);
                // What is left of a shape a letter was cut from stays paper.
                if (!near[k] || !layer_.ofGround(fill, x, y) || (id && layer_.shapes[size_t(id - 1)].cut))
                    continue;
                const int v = layer_.level(x, y), under = groundAt_[k];
                int depth = under == each.groundLevel ? (Layer::depth(line.light, v, under) - floor) * toDepth / fromDepth
                                                      : Layer::depth(line.light, v, under) * each.depth / std::max(1, std::abs(inkLevel - under));
                if (id && ofLine_[size_t(id - 1)] && each.flatRing && under == each.groundLevel)
                    depth = asDeepAsTheLine(line, each, strongest, layer_.shapes[size_t(id - 1)], depth);
                out[x] = uchar(std::min(int(out[x]), paper_ - std::clamp(depth, 0, paper_)));
            }
        }
        for (size_t i : line.shapes)
            ofLine_[i] = 0;
        for (size_t i : line.crossing)
            ofLine_[i] = 0;
    }

private:
    // Round a letter cut from the photo its depth is taken from what it stands on and
    // stretched to the line's: that ground turns to paper and the letter keeps its weight.
    std::vector<int> groundsUnder(const Line& line, const Laid& each) const
    {
        const int aw = area_.width();
        const int inkLevel = line.light ? each.groundLevel + each.depth : each.groundLevel - each.depth;
        std::vector<int> groundAt(size_t(aw) * size_t(area_.height()), each.groundLevel);
        for (size_t i : line.shapes) {
            const Shape& s = layer_.shapes[i];
            if (s.under < 0 || (line.light ? s.under <= each.groundLevel || s.under >= inkLevel : s.under >= each.groundLevel || s.under <= inkLevel))
                continue;
            const QRect near = s.box.adjusted(-halo, -halo, halo, halo).intersected(area_);
            for (int y = near.top(); y <= near.bottom(); ++y)
                for (int x = near.left(); x <= near.right(); ++x) {
                    int& at = groundAt[size_t(y - area_.top()) * size_t(aw) + size_t(x - area_.left())];
                    at = line.light ? std::max(at, s.under) : std::min(at, s.under);
                }
        }
        return groundAt;
    }

    // The line's own pixels, grown by the halo across then down.
    std::vector<uint8_t> haloRound() const
    {
        const int aw = area_.width(), ah = area_.height();
        std::vector<uint8_t> own(size_t(aw) * size_t(ah), 0), grown(own.size(), 0);
        for (int y = 0; y < ah; ++y)
            for (int x = 0; x < aw; ++x)
                if (const int id = layer_.at(x + area_.left(), y + area_.top()); id && ofLine_[size_t(id - 1)])
                    for (int dx = std::max(0, x - halo); dx <= std::min(aw - 1, x + halo); ++dx)
                        own[size_t(y) * size_t(aw) + size_t(dx)] = 1;
        for (int y = 0; y < ah; ++y)
            for (int x = 0; x < aw; ++x)
                if (own[size_t(y) * size_t(aw) + size_t(x)])
                    for (int dy = std::max(0, y - halo); dy <= std::min(ah - 1, y + halo); ++dy)
                        grown[size_t(dy) * size_t(aw) + size_t(x)] = 1;
        return grown;
    }

    // On a flat ground a glyph of another colour (a red "M" among grey words) is laid as deep
    // as the line, with the mark over or under it (the dot of a pink "i"): the engine's one
    // threshold would take it for paper. A check box's square is no glyph of another colour.
    int asDeepAsTheLine(const Line& line, const Laid& each, int strongest, const Shape& s, int depth) const
    {
        const int own = Layer::depth(line.light, s.level, each.groundLevel);
        if (s.frame || own <= 0 || 5 * own >= 2 * strongest)
            return depth;
        const bool markOfFaint = std::any_of(line.shapes.begin(), line.shapes.end(), [&](size_t i) {
            const Shape& g = layer_.shapes[i];
            return g.glyph && s.box.left() <= g.box.right() && s.box.right() >= g.box.left() && std::abs(g.level - s.level) <= plainGround * 2;
        });
        return s.glyph || markOfFaint ? depth * each.depth / own : depth;
    }

    const Layer& layer_;
    QImage& view_;
    const int paper_;
    std::vector<uint8_t> ofLine_;
    QRect area_;
    std::vector<int> groundAt_;
};

} // namespace

} // namespace layer

TextLayer textLayer(const QImage& grey)
{
    using namespace layer;
    Layer found(grey);
    findShapes(found);
    dropContainersAndHollows(found);
    chainLines(found);
    keepLinesToOneSize(found);
    cutLetters(found);
    dropControls(found);
    keepLinesAndMarks(found);
    TextLayer text;
    const std::vector<Laid> laid = textLines(found, text);
    text.view = QImage(found.w, found.h, QImage::Format_Grayscale8);
    if (text.view.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    // The paper keeps the picture's own level where that is light (a white or grey page reads
    // exactly as drawn) and the inverse of it where dark (a terminal).
    const int common = mostCommonGrey(grey);
    const int paper = std::max(common, 255 - common);
    text.view.fill(paper);
    int deepest = 0;
    for (const Laid& each : laid)
        deepest = std::max(deepest, each.depth);
    Laying laying(found, text.view, paper);
    for (const Laid& each : laid)
        laying.lay(each, deepest);
    return text;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
