#pragma once

// The glyphs under a word's characters, shared by the passes that read alike glyphs alike:
// a word's ink cut into the glyphs of its symbols, in pixels of the picture as it was shown,
// and glyphs compared with each other.

#include "render/recognition/ReadingStages.h"

#include <QByteArray>
#include <QImage>

#include <optional>
#include <vector>

namespace tarnwick::ScreenTextRecognizer::detail::glyphs {

using stages::median;

// The ink of one character: its box in pixels of the picture as it was shown, and
// which pixels of the box are ink.
struct Glyph {
    QRect box;
    std::vector<bool> ink;

    bool empty() const { return box.isEmpty(); }
};

// A symbol of a word with the glyph under it.
struct Placed {
    ReadSymbol* symbol = nullptr;
    Glyph glyph;
    size_t glyphOf = 0; // the symbol holding the glyph this one was read on
};

// The ink of a word's area in 8-connected pieces: each pixel's piece (-1 for paper) and
// each piece's box, in pixels of the area.
struct Pieces {
    int width = 0, height = 0;
    std::vector<int> label;
    std::vector<QRect> boxes;

    int at(int x, int y) const { return label[size_t(y) * size_t(width) + size_t(x)]; }
};

// The pieces of one character: those standing over one another (a letter and its dots),
// within the columns from `left` to `right` of the area.
struct Column {
    int left = 0, right = -1;
    std::vector<size_t> pieces;
    bool cut = false; // parted from its neighbour at its thinnest: a guess, not a glyph as drawn

    int width() const { return right - left + 1; }
    bool holds(const Pieces& all, int x, int y) const
    {
        const int label = all.at(x, y);
        return label >= 0 && std::find(pieces.begin(), pieces.end(), size_t(label)) != pieces.end();
    }
};

// A box of the enlarged view in pixels of the view as shown, a pixel wider every way.
QRect inView(const QRect& box, double scale, const QImage& view);
Pieces inkPieces(const QImage& view, const QRect& area, int threshold);
std::optional<Pieces> areaInk(const QImage& view, const QRect& area, int paper, double share = 0.5);
int leastInkColumn(const Pieces& all, const Column& column);
std::vector<Column> columnsOf(const Pieces& all, size_t characters);
Glyph glyphOf(const Pieces& all, const Column& column, const QPoint& areaOrigin);
std::vector<Placed> placedSymbols(ReadWord& word, const QImage& view, double scale, int paper);
bool inkAt(const Glyph& g, int x, int y);
bool same(const Glyph& a, const Glyph& b);
bool drawnAlike(const Glyph& a, const Glyph& b);
QByteArray bitmap(const Glyph& glyph);
QChar single(const ReadSymbol& symbol);
int script(QChar c);
bool mayBecome(QChar from, QChar to);
bool unbroken(const Glyph& glyph);
bool bracket(const QString& text);
void spellFromSymbols(ReadWord& word);
void readAs(ReadWord& word, const QString& text);
bool symbolsSpell(const ReadWord& word);

// The signs read once on two copies of their glyph, waves read as dashes, two bars as one,
// a bar on the baseline as a pipe: read again on their glyphs, in each run.
void readSignsOnTheirGlyphs(std::vector<WordRun>& runs, const QImage& view, double scale, int paper);

} // namespace tarnwick::ScreenTextRecognizer::detail::glyphs
