// Lines of glyphs: takes the glyphs, gives them chained into lines of one polarity, rows of
// letters chained by a tall shape parted, and each line kept to one size, one baseline and
// the colours its text is drawn in.

#include "render/recognition/TextLayerStages.h"

#include <functional>
#include <numeric>

namespace tarnwick::ScreenTextRecognizer::stages::layer {

namespace {

// The line's shapes without those not in `own`, which are no glyphs of any line.
void keepOnly(Layer& layer, Line& line, std::vector<size_t> own)
{
    if (own.size() == line.shapes.size())
        return;
    for (size_t i : line.shapes)
        if (std::find(own.begin(), own.end(), i) == own.end())
            layer.drop(i);
    line.shapes = std::move(own);
    line.count = int(line.shapes.size());
    layer.rebox(line);
}

// Two rows of text (a heading over its caption) chained by one tall shape between them (a
// streak of the photo) are two lines: across the rows of each, every letter of its row
// stands, and between them only the shapes that chained them do. The row of the line's
// thinnest rows between two rows of letters, each of three glyphs at least that stand on one
// baseline; -1 for none.
int rowBetweenRows(const Layer& layer, const Line& line)
{
    const int top = line.box.top(), rows = line.box.height();
    std::vector<int> covered(size_t(rows), 0);
    for (size_t i : line.shapes)
        for (int y = layer.shapes[i].box.top(); y <= layer.shapes[i].box.bottom(); ++y)
            ++covered[size_t(y - top)];
    const int most = *std::max_element(covered.begin(), covered.end());
    const auto row = [&](const std::vector<QRect>& boxes) {
        std::vector<int> bottoms, heights;
        for (const QRect& box : boxes) {
            bottoms.push_back(box.bottom());
            heights.push_back(box.height());
        }
        return int(boxes.size()) >= leastRow && onOneBaseline(bottoms, std::max(2, median(heights) / 8));
    };
    int best = -1;
    for (int y = 0; y < rows; ++y) {
        if (4 * covered[size_t(y)] > most || (best >= 0 && covered[size_t(y)] >= covered[size_t(best)]))
            continue;
        std::vector<QRect> above, below;
        for (size_t i : line.shapes) {
            const QRect& box = layer.shapes[i].box;
            if (box.bottom() < top + y)
                above.push_back(box);
            if (box.top() > top + y)
                below.push_back(box);
        }
        if (row(above) && row(below))
            best = y;
    }
    return best < 0 ? -1 : top + best;
}

void partRows(Layer& layer)
{
    for (size_t l = 0; l < layer.lines.size(); ++l) {
        Line& line = layer.lines[l];
        const int cut = line.count < 2 * leastRow ? -1 : rowBetweenRows(layer, line);
        if (cut < 0)
            continue;
        // The shapes across that row go with the side that holds their middle.
        Line lower;
        lower.light = line.light;
        std::vector<size_t> upper;
        for (size_t i : line.shapes) {
            const QRect& box = layer.shapes[i].box;
            if (box.top() + box.bottom() <= 2 * cut) {
                upper.push_back(i);
                continue;
            }
            lower.shapes.push_back(i);
            layer.shapes[i].line = int(layer.lines.size());
        }
        line.shapes = std::move(upper);
        line.count = int(line.shapes.size());
        layer.rebox(line);
        lower.count = int(lower.shapes.size());
        layer.rebox(lower);
        layer.lines.push_back(std::move(lower));
        // Either part may hold a further row.
        --l;
    }
}

// A line keeps to one size and one baseline: each of its glyphs stands at most as tall
// against the glyphs round it as glyphs joined pairwise do, and covers most of the rows its
// typical glyph spans (capitals and ascenders reach above, descenders below, punctuation sits
// within). A shape chained in through a neighbour of another size, or crossing the line's rows
// (the bright rim of a cup behind the words), is no letter of it.
void keepToOneSize(Layer& layer, Line& line)
{
    std::vector<Shape>& shapes = layer.shapes;
    std::vector<int> heights, tops, bottoms;
    for (size_t i : line.shapes) {
        heights.push_back(shapes[i].box.height());
        tops.push_back(shapes[i].box.top());
        bottoms.push_back(shapes[i].box.bottom());
    }
    line.glyphHeight = median(heights);
    if (line.count < 3)
        return;
    const int top = median(tops), bottom = std::max(top, median(bottoms));
    // On a photo the line keeps to its own rows: its shapes strewn along a slope are as likely
    // the photo's.
    const bool flat = layer.flatRing(line.box);
    // Height is judged against the glyphs next to each one: a heading and a small label
    // beside it may make one line, and the heading's capitals are letters.
    std::sort(line.shapes.begin(), line.shapes.end(), [&](size_t a, size_t b) { return shapes[a].box.left() < shapes[b].box.left(); });
    std::vector<size_t> own;
    for (size_t k = 0; k < line.shapes.size(); ++k) {
        const size_t i = line.shapes[k];
        const QRect& box = shapes[i].box;
        // On a page its rows are counted where the glyphs next to it stand: a long line turned
        // a degree or two climbs more than a letter's height along its length. A glyph of the
        // line leaves at most half the line's rows out of them.
        std::vector<int> near, nearTops, nearBottoms;
        for (size_t j = k >= 3 ? k - 3 : 0; j < std::min(line.shapes.size(), k + 4); ++j) {
            if (j != k)
                near.push_back(shapes[line.shapes[j]].box.height());
            nearTops.push_back(shapes[line.shapes[j]].box.top());
            nearBottoms.push_back(shapes[line.shapes[j]].box.bottom());
        }
        const int rowsTop = flat ? median(nearTops) : top, rowsBottom = flat ? std::max(rowsTop, median(nearBottoms)) : bottom;
        const int missed = rowsBottom - rowsTop + 1 - (std::min(box.bottom(), rowsBottom) - std::max(box.top(), rowsTop) + 1);
        // A letter that reaches below the baseline starts at the line's top, or ends where
        // other descenders do; a shape standing lower as a whole, on a line of its own, is the
        // photo under the line.
        const bool lower = 4 * (box.top() - top) > line.glyphHeight && 4 * (box.bottom() - bottom) > line.glyphHeight
            && std::none_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
                   return j != i && 8 * std::abs(shapes[j].box.bottom() - box.bottom()) <= std::max(8, line.glyphHeight);
               });
        // On a page a bracket or a brace reaches from above the capitals to below the
        // descenders, twice as tall as the quotes and commas beside it («", {»); a stroke
        // no wider than smoothing leaves a line is a field's side.
        const bool bracket = flat && box.width() > thinStroke && 2 * box.width() <= box.height() && 5 * box.height() <= 11 * line.glyphHeight;
        if ((bracket || 5 * box.height() <= 11 * median(near)) && 2 * missed <= bottom - top + 1 && !lower) {
            own.push_back(i);
            continue;
        }
        // A letter run into a taller shape (a rim through the line) keeps what lies within
        // the line's rows.
        if (2 * missed <= bottom - top + 1)
            line.crossing.push_back(i);
    }
    if (own.size() == line.shapes.size())
        return;
    // Text keeps most of its glyphs; shapes of a photo that mostly do not line up are no
    // line, whatever few of them do.
    if (2 * own.size() < line.shapes.size()) {
        own.clear();
        line.crossing.clear();
    }
    keepOnly(layer, line, std::move(own));
    // Its typical height is its own letters' again: taken with a heading's letters or the
    // photo's shapes chained in, it left the letters of a small caption under half of it, as
    // if they were marks, and judged the line by the shapes of the photo.
    heights.clear();
    for (size_t i : line.shapes)
        heights.push_back(shapes[i].box.height());
    if (!heights.empty())
        line.glyphHeight = median(heights);
}

// Letters stand on one baseline, and those of one case reach one height: each of them ends
// or starts where another does. Shapes of a photo chained side by side stand at any height;
// where most of a line's shapes share neither their top nor their bottom with another, the
// line is no text.
bool aligned(const Layer& layer, const Line& line)
{
    if (line.count < 3 || line.glyphHeight < lineCore)
        return true;
    const int near = std::max(2, line.glyphHeight / 8);
    int alike = 0;
    for (size_t i : line.shapes) {
        const QRect& a = layer.shapes[i].box;
        alike += std::any_of(line.shapes.begin(), line.shapes.end(), [&](size_t j) {
            const QRect& b = layer.shapes[j].box;
            return j != i && (std::abs(a.bottom() - b.bottom()) <= near || std::abs(a.top() - b.top()) <= near);
        });
    }
    return 2 * alike >= line.count;
}

// Text is drawn in a colour or two that stand well off its ground; a photo's texture makes
// shapes of every level between its lights and its darks. On a photo a glyph standing off the
// line's ground by under two fifths of the line's strongest glyph is texture that lines up
// with the letters (or makes a "line" of its own), and is left out; and the letters of a line
// of many, with cores of the text's one colour, peak near its level, where a shape of the
// photo chained on (a cup's rim before the first letter) peaks far off it. On a ground of a
// level or two, colours are text (grep's red match, a keyword): only a stroke taller than
// the letters (a field's side) goes.
void keepToTextColours(Layer& layer, Line& line)
{
    std::vector<Shape>& shapes = layer.shapes;
    if (line.count < 2)
        return;
    const std::vector<int> ring = layer.ringLevels(line.box);
    if (ring.empty())
        return;
    const int groundLevel = median(ring);
    const auto depth = [&](const Shape& s) { return Layer::depth(s.light, s.level, groundLevel); };
    int strongest = 0;
    for (size_t i : line.shapes)
        strongest = std::max(strongest, depth(shapes[i]));
    const bool flat = layer.flatRing(line.box);
    int inkLevel = -1;
    if (line.count >= fewGlyphs && line.glyphHeight >= lineCore && !flat) {
        std::vector<int> levels;
        for (size_t i : line.shapes)
            levels.push_back(shapes[i].level);
        inkLevel = median(levels);
    }
    std::vector<size_t> own;
    for (size_t i : line.shapes) {
        const QRect& b = shapes[i].box;
        const bool frameSide = b.width() <= thinStroke && 2 * b.height() > 3 * line.glyphHeight;
        if (((!frameSide && flat) || 5 * depth(shapes[i]) >= 2 * strongest)
            && (inkLevel < 0 || 2 * std::abs(shapes[i].level - inkLevel) <= colourStep))
            own.push_back(i);
        else
            shapes[i].offColour = true;
    }
    // A taller shape across the line off the text's colour holds no letter run into it (the
    // grey side of a field's frame beside its first letter), though every glyph of the line
    // is of that colour.
    std::erase_if(line.crossing, [&](size_t i) { return 5 * depth(shapes[i]) < 2 * strongest; });
    keepOnly(layer, line, std::move(own));
}

} // namespace

bool onOneBaseline(std::vector<int> bottoms, int near)
{
    std::sort(bottoms.begin(), bottoms.end());
    for (size_t k = 0; k + size_t(leastRow) <= bottoms.size(); ++k)
        if (bottoms[k + size_t(leastRow) - 1] - bottoms[k] <= near)
            return true;
    return false;
}

void chainLines(Layer& layer)
{
    std::vector<Shape>& shapes = layer.shapes;
    const std::vector<size_t> glyphs = glyphsByLeft(shapes);
    // Glyphs of one polarity side by side, of about one height (a capital with a descender
    // stands under 2.2 times a small letter), sharing most of their rows, no further apart
    // than three heights.
    std::vector<int> parent(shapes.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::function<int(int)> root = [&](int i) { return parent[size_t(i)] == i ? i : parent[size_t(i)] = root(parent[size_t(i)]); };
    for (size_t k = 0; k < glyphs.size(); ++k) {
        const Shape& a = shapes[glyphs[k]];
        for (size_t j = k + 1; j < glyphs.size(); ++j) {
            const Shape& b = shapes[glyphs[j]];
            const int height = std::max(a.box.height(), b.box.height());
            if (b.box.left() - a.box.right() > joinGap * tallestGlyph)
                break;
            // A fill's edge parts lines: a badge's label from the words beside it.
            if (b.box.left() - a.box.right() > joinGap * height || a.light != b.light || a.fill != b.fill)
                continue;
            const int low = std::min(a.box.height(), b.box.height());
            const int shared = std::min(a.box.bottom(), b.box.bottom()) - std::max(a.box.top(), b.box.top()) + 1;
            if (2 * shared < low || 5 * height > 11 * low || root(int(glyphs[j])) == root(int(glyphs[k])))
                continue;
            // On a photo, letters large enough to have a core of the text's colour reach about
            // one level; strands of hair or fur round them shade off from it, and chained in
            // they may outnumber the letters and set the line's rows. On a plain ground shapes
            // of two levels may make one line (a button's grey frame beside its label).
            if (low >= lineCore && std::abs(a.level - b.level) > colourStep && !layer.plainRing(a.box.united(b.box)))
                continue;
            parent[size_t(root(int(glyphs[j])))] = root(int(glyphs[k]));
        }
    }
    std::vector<int> lineOf(shapes.size(), -1);
    for (size_t i : glyphs) {
        const int r = root(int(i));
        if (lineOf[size_t(r)] < 0) {
            lineOf[size_t(r)] = int(layer.lines.size());
            layer.lines.emplace_back().light = shapes[i].light;
        }
        Line& line = layer.lines[size_t(lineOf[size_t(r)])];
        line.box = line.box.united(shapes[i].box);
        ++line.count;
        line.shapes.push_back(i);
        shapes[i].line = lineOf[size_t(r)];
    }
    partRows(layer);
}

void keepLinesToOneSize(Layer& layer)
{
    for (Line& line : layer.lines)
        keepToOneSize(layer, line);
    for (Line& line : layer.lines)
        if (!aligned(layer, line)) {
            keepOnly(layer, line, {});
            line.crossing.clear();
        }
    for (Line& line : layer.lines)
        keepToTextColours(layer, line);
}

} // namespace tarnwick::ScreenTextRecognizer::stages::layer
