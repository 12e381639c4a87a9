// Controls, glyphs alone and marks: takes the lines, gives them without the marks of controls,
// the lines to go on with (two glyphs and more, or a glyph alone that may be a letter), and
// the marks that stand with each (dots, commas, accents).

#include "render/recognition/TextLayerStages.h"

#include <optional>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

namespace {

// A frame is a shape whose pixels keep to the edges of its box, about square.
bool frameShaped(const Layer& layer, size_t i)
{
    const QRect& box = layer.shapes[i].box;
    if (box.height() < leastGlyph || box.height() > tallestGlyph || 2 * box.width() < box.height() || 2 * box.height() < box.width())
        return false;
    const int edge = std::max(1, box.height() / 6);
    const QRect middle = box.adjusted(edge, edge, -edge, -edge);
    int inMiddle = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x)
            inMiddle += layer.at(x, y) == int(i) + 1;
    return !middle.isEmpty() && 10 * inMiddle < layer.shapes[i].area;
}

// The lone shapes that make no line: where one is a mark of a line by it under half its
// letters (the breve of a «й», a dash), or the fill a line of the other polarity is written
// on (a pill-shaped button, too round to count as filled whole), not a word run together.
void dropLoneMarksAndFills(Layer& layer)
{
    std::vector<Line>& lines = layer.lines;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (lines[l].count != 1 || !lines[l].kept)
            continue;
        const QRect& box = lines[l].box;
        const bool mark = std::any_of(lines.begin(), lines.end(), [&](const Line& other) {
            const int reach = other.box.height();
            return other.count >= 2 && other.light == lines[l].light && 2 * box.height() <= other.glyphHeight
                && other.box.adjusted(-2 * reach, -reach / 2, 2 * reach, reach / 2).contains(box);
        });
        if (mark) {
            lines[l].kept = false;
            layer.shapes[lines[l].shapes.front()].line = -1;
        }
    }
    for (size_t l = 0; l < lines.size(); ++l) {
        if (lines[l].count != 1 || !lines[l].kept)
            continue;
        for (size_t o = 0; o < lines.size(); ++o)
            if (o != l && lines[o].kept && lines[o].count >= 2 && lines[o].light != lines[l].light && inside(lines[o].box, lines[l].box)) {
                lines[l].kept = false;
                layer.shapes[lines[l].shapes.front()].line = -1;
                break;
            }
    }
}

// A line's ink, ground and rings as its glyphs alone set them, before marks join.
struct Levels {
    int ground = 0;
    int ink = 0;
    bool plain = true; // the ring is of one level: a page, a fill
    bool flat = true;  // or of two: a fill, a frame on a page; no photo
};

// Marks (dots, commas, accents, a hyphen, a period of large text) join the line they stand
// in: beside its glyphs, among them or above them as accents, never below its descenders.
// Where they stand is judged by the glyphs alone, so that marks do not carry a line off into
// the specks of a photo.
void joinMarks(Layer& layer, const std::vector<QRect>& controls)
{
    std::vector<Line>& lines = layer.lines;
    std::vector<QRect> glyphBoxes;
    std::vector<int> inkOf(lines.size(), -1);
    for (size_t l = 0; l < lines.size(); ++l) {
        glyphBoxes.push_back(lines[l].box);
        if (const std::vector<int> levels = layer.glyphLevels(lines[l]); lines[l].kept && !levels.empty())
            inkOf[l] = median(levels);
    }
    std::vector<std::optional<Levels>> levelsOf(lines.size());
    const auto levels = [&](size_t l) {
        if (!levelsOf[l]) {
            const std::vector<int> ring = layer.ringLevels(glyphBoxes[l]);
            levelsOf[l] = ring.empty() || inkOf[l] < 0 ? Levels{}
                                                       : Levels{median(ring), inkOf[l], layer.plainRing(glyphBoxes[l]), layer.flatRing(glyphBoxes[l])};
        }
        return *levelsOf[l];
    };
    const auto joinAll = [&](bool smallOnly) {
        for (size_t i = 0; i < layer.shapes.size(); ++i) {
            Shape& s = layer.shapes[i];
            // Nor is what a control's box holds a mark.
            if ((s.line >= 0 && lines[size_t(s.line)].kept) || s.offColour || s.control
                || std::any_of(controls.begin(), controls.end(), [&](const QRect& f) { return inside(s.box, f); }))
                continue;
            for (size_t l = 0; l < lines.size(); ++l) {
                const Line& line = lines[l];
                // A mark is no taller than the line (a dense bold letter, taken for a fill, is a
                // mark too).
                const QRect& glyphBox = glyphBoxes[l];
                if (!line.kept || line.light != s.light || s.box.width() > 2 * glyphBox.height() || s.box.height() > glyphBox.height()
                    || (smallOnly && 2 * s.box.height() > line.glyphHeight)
                    || line.shapes.empty() || layer.shapes[line.shapes.front()].fill != s.fill)
                    continue;
                // Further off the glyphs than a letter's width a mark (the "=" between two words a
                // few blanks apart) is of the text's colour: the specks of a photo beside a word
                // shade off from it. On a photo every mark is: the specks among the letters grow
                // the line over the photo's lights, whose level then passes for its ground. There
                // a speck of the text's colour further off than a letter's width is as likely one
                // of the photo's lights (a pale cell beside a white heading): marks join only that
                // close. A dot (of an «i», a colon, a period) is let join by where it stands off a
                // photo: at 1× its one pixel is lighter than the text's colour.
                const int reach = glyphBox.height();
                const int gap = std::max({glyphBox.left() - s.box.right(), s.box.left() - glyphBox.right(), 0});
                const bool dot = s.box.width() < leastGlyph && s.box.height() < leastGlyph;
                // A stroke of a pixel or two, smoothed over its neighbours, is lighter than the
                // text (the lower bar of a code font's "="): over its width its ink adds up to the
                // text's. Off a photo only, whose specks are as thin.
                const auto ownColour = [&] {
                    const Levels at = levels(l);
                    const int depth = std::abs(at.ink - at.ground);
                    const int thickness = std::min(s.box.width(), s.box.height());
                    const bool thin = !dot && thickness <= thinStroke && at.flat && std::abs(s.level - at.ground) <= depth
                        && std::abs(s.level - at.ink) <= depth;
                    return 4 * std::abs(s.level - at.ink) <= depth || (thin && 4 * thickness * std::abs(s.level - at.ground) >= 3 * depth);
                };
                // A comma reaches below the baseline as far as a descender does: two fifths of a
                // line without descenders («count;» at 1×), on a plain ground; over a photo a speck
                // that low is as likely the photo's.
                const int below = levels(l).plain ? 2 * reach / 5 : reach / 4;
                if (glyphBox.adjusted(-2 * reach, -reach / 2, 2 * reach, below).contains(s.box)
                    && ((gap <= line.glyphHeight && (levels(l).plain || (dot && levels(l).flat)))
                        || ((gap <= line.glyphHeight || levels(l).flat) && ownColour()))) {
                    s.line = int(l);
                    lines[l].shapes.push_back(i);
                    lines[l].box = lines[l].box.united(s.box);
                    break;
                }
            }
        }
    };
    joinAll(false);
    // Small marks that stand off a line's glyphs by marks of their own (the first dash of a
    // diff's «---») join it on a second pass, on a plain ground only: judged by the line as its
    // marks have grown it. Not a caret or a field's side, as tall as the line.
    for (size_t l = 0; l < lines.size(); ++l)
        if (lines[l].kept && inkOf[l] >= 0 && levels(l).plain)
            glyphBoxes[l] = lines[l].box;
    joinAll(true);
}

// Whether each row and each column of a shape holds one run of its pixels: a bullet, a
// square, a triangle filled. A figure or a letter filled as densely at 1× («0», «5», «E»)
// has a hollow or a notch across some row or column.
bool solid(const Layer& layer, size_t i)
{
    const QRect& box = layer.shapes[i].box;
    const int id = int(i) + 1;
    const auto oneRun = [&](int from, int to, auto at) {
        int runs = 0;
        bool was = false;
        for (int k = from; k <= to; ++k) {
            const bool in = at(k) == id;
            runs += in && !was;
            was = in;
        }
        return runs <= 1;
    };
    for (int y = box.top(); y <= box.bottom(); ++y)
        if (!oneRun(box.left(), box.right(), [&](int x) { return layer.at(x, y); }))
            return false;
    for (int x = box.left(); x <= box.right(); ++x)
        if (!oneRun(box.top(), box.bottom(), [&](int y) { return layer.at(x, y); }))
            return false;
    return true;
}

} // namespace

void dropControls(Layer& layer)
{
    // A glyph inside a small square frame, one no taller than three of the line's small
    // letters and holding nothing else of the line, is the mark of a control (the tick of a
    // check box and the box's white, the dot of a radio button): no text, and the control's
    // box goes with it. The frame of a field round text is long, and letters hold nothing but
    // their hollows.
    std::vector<Shape>& shapes = layer.shapes;
    std::vector<size_t> frames;
    for (size_t i = 0; i < shapes.size(); ++i)
        if ((shapes[i].frame = frameShaped(layer, i)))
            frames.push_back(i);
    const auto inFrame = [&](size_t i, int tallest) {
        for (size_t f : frames)
            if (f != i && shapes[f].box.height() <= tallest && inside(shapes[i].box, shapes[f].box.adjusted(1, 1, -1, -1)))
                return int(f);
        return -1;
    };
    for (Line& line : layer.lines) {
        std::vector<size_t> own;
        for (size_t i : line.shapes) {
            const int frame = inFrame(i, 3 * line.glyphHeight);
            const QRect f = frame >= 0 ? shapes[size_t(frame)].box : QRect();
            const auto other = [&](size_t j) { return j != i && int(j) != frame; };
            const bool alone = frame >= 0
                && std::none_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) { return other(j) && shapes[j].box.intersects(f); });
            // A control stands apart from its label; a letter of two hollows («в», «В») has its
            // word's letters close on both sides.
            const int gap = std::max(2, line.glyphHeight / 2);
            const auto letterBeside = [&](bool before) {
                return std::any_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
                    const QRect& b = shapes[j].box;
                    return other(j) && (before ? b.right() < f.left() && f.left() - b.right() <= gap : b.left() > f.right() && b.left() - f.right() <= gap);
                });
            };
            if (!alone || (letterBeside(true) && letterBeside(false)))
                own.push_back(i);
            else
                shapes[i].control = shapes[size_t(frame)].control = true;
        }
        std::erase_if(own, [&](size_t i) { return shapes[i].control; });
        if (own.size() == line.shapes.size())
            continue;
        for (size_t i : line.shapes)
            if (shapes[i].control)
                layer.drop(i);
        line.shapes = std::move(own);
        line.count = int(line.shapes.size());
        layer.rebox(line);
    }
}

void keepLinesAndMarks(Layer& layer)
{
    // Two glyphs and more make a line, and so does a lone shape wider than tall: the letters of
    // a small word run together. A lone shape of a letter's width is an icon, a bullet or a
    // speck as often as a letter; it is laid all the same where it stands as tall as the
    // page's letters on a plain ground and is no stroke, no bullet and nothing a box holds, and
    // what the engine reads on it is weighed then (a column's letter, a lone «0» in a table).
    // A bullet is filled and solid; a figure at 1× is filled as densely, round its hollow. The
    // ground is judged past the glyph's smoothed edge: a straight stem («D», «E») leaves a
    // column of grey beside it on a header's grey.
    std::vector<int> letterHeights;
    for (const Line& line : layer.lines)
        if (line.count >= leastRow)
            letterHeights.push_back(line.glyphHeight);
    const int letterHeight = letterHeights.empty() ? 0 : median(letterHeights);
    for (Line& line : layer.lines) {
        const QRect& box = line.box;
        line.kept = line.count >= 2 || (line.count == 1 && 2 * box.width() >= 3 * box.height());
        if (line.kept || line.count != 1 || line.shapes.empty())
            continue;
        const Shape& only = layer.shapes[line.shapes.front()];
        const bool dense = 2 * box.width() >= box.height() && 5 * only.area > 3 * box.width() * box.height();
        const bool block = (dense && solid(layer, line.shapes.front()))
            || std::any_of(layer.containers.begin(), layer.containers.end(), [&](const QRect& c) { return inside(box, c); });
        // A brace or a bracket reaches from above the capitals to below the descenders.
        const int tallest = 2 * box.width() <= box.height() ? 11 : 8;
        line.lone = 5 * box.height() >= 3 * letterHeight && 5 * box.height() <= tallest * letterHeight && box.width() > thinStroke && !block
            && layer.plainRing(box.adjusted(-1, -1, 1, 1));
        line.kept = line.lone;
    }
    dropLoneMarksAndFills(layer);
    std::vector<QRect> controls;
    for (const Shape& s : layer.shapes)
        if (s.frame && s.control)
            controls.push_back(s.box);
    joinMarks(layer, controls);
}

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
