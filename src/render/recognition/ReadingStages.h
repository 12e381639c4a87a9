#pragma once

// The stages of text recognition, each in a file of its own: the language data and
// warm engines (EnginePool.cpp), the view dark on light (PolarityViews.cpp), the
// bands and how each is read (BandReading.cpp), the merge of the readings of each
// language (LanguageMerge.cpp), and lines and reading order (ReadingLines.cpp).

#include "render/recognition/ScreenTextRecognizer.h"

#include <QTransform>

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace tarnwick::ScreenTextRecognizer::stages {

using detail::ReadSymbol;
using detail::ReadWord;
using detail::Reading;
using detail::WordRun;

// --- Language data and engines -------------------------------------------------

// Where the language data lives and what it holds.
struct DataSetup {
    QString path;
    std::string languages; // Tesseract's "rus+eng+…"
};

// The set-up of the data folder now; throws the Russian sentence of missing data.
DataSetup currentSetup();

// The Tesseract names of the set-up's languages, one by one.
std::vector<std::string> singleLanguages(const DataSetup& setup);

struct Engine;

// An engine of the pool for the length of one reading.
class LentEngine {
public:
    LentEngine(const DataSetup& setup, Reading reading, const std::string& languages);
    ~LentEngine();
    LentEngine(const LentEngine&) = delete;
    LentEngine& operator=(const LentEngine&) = delete;

    tesseract::TessBaseAPI& api();

private:
    std::unique_ptr<Engine> engine_;
};

// Reading threads that stay, so that independent parts of one picture are read at
// once, each with a warm engine of the pool.
namespace ReadingPool {
// Readers beside the caller that a view is cut into bands for.
int helpers();
// Threads that read at once: the caller and all the pool's.
int runners();
// Runs every task, the first on the calling thread, and waits for all of them;
// then rethrows the first failure in task order.
void runAll(const std::vector<std::function<void()>>& tasks);
} // namespace ReadingPool

// --- Polarity views ----------------------------------------------------------------

// Grey levels on white, or the sentence for a failed allocation.
QImage readableGrey(const QImage& image);

// The picture as one view to read dark on light, whichever polarity most of it has.
QImage polarityView(QImage grey);

// The angle in degrees a turned picture's lines of text run at (Levelling.cpp), where it is
// clearly turned; and the picture turned level, with `turn` mapping its pixels there.
std::optional<double> turnedBy(const QImage& grey);
QImage levelled(const QImage& image, double degrees, QTransform& turn);

// --- Text lines -------------------------------------------------------------------

// A line of glyphs found in a grey picture, whether its glyphs are lighter than their
// ground, and whether that ground is a photo's (of more than two levels round it).
struct TextLine {
    QRect box;
    bool light = false;
    bool onPhoto = false;
    bool lone = false; // one glyph alone: a letter only where the engine is sure of it
};

// The picture's text alone, dark on white at the contrast it has, and its lines.
struct TextLayer {
    QImage view;
    std::vector<TextLine> lines;
};

TextLayer textLayer(const QImage& grey);

// --- Bands --------------------------------------------------------------------------

// A part of a view read on its own: a band of lines, or a piece of one.
struct Band {
    QImage image;
    int top = 0;      // the view row of the image's first row
    int left = 0;     // the view column of its first column
    double scale = 1; // image pixels to a view pixel
    // One small sign alone between words (an "=" in code), read as one character: as a
    // block the engine takes a lone mark for a speck and reads nothing.
    bool sign = false;

    // A box of the image in view pixels.
    QRect inView(const QRect& box) const;
};

// The typical run of ink rows of a view: one line, accents to descenders; 0 for a
// view without lines.
int textHeight(const QImage& view);

// Text under 14 px (9–13 px screen fonts) is read by the small-text rules.
inline bool smallText(int height) { return height > 0 && height < 14; }

// The middle value; the upper one of an even count. Not for an empty list.
template <typename T>
T median(std::vector<T> values)
{
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// How much a view of text of this height is enlarged before it is read.
double enlargement(int height, const QSize& size);
QImage enlarged(const QImage& view, double factor);

// The view cut into at most `most` bands of about equal amounts of text.
std::vector<Band> bands(const QImage& view, int most, int leastInkRows);

// The band cut where text of different sizes stands side by side (a heading beside
// a label), between headings and the lines round them, and between columns whose lines
// interleave, each piece enlarged for its own size of text; the band alone otherwise.
// With `proseApart`, also between columns of prose past a wide gutter.
std::vector<Band> sizePieces(const Band& band, bool proseApart = false);

// The lines of a view (grey, or opaque colour) as Tesseract found them, each a whole row of
// the block. With `symbols`, each word keeps the characters it was read as, with their boxes.
std::vector<WordRun> readView(tesseract::TessBaseAPI& api, const QImage& view, const std::function<bool()>& isCancelled,
    bool symbols);

// --- Languages ----------------------------------------------------------------------

// A piece of a word between the signs that part names and paths (/ . _ - @ : ~ …):
// a run of letters and figures, as characters of the word's text.
struct WordPiece {
    qsizetype from = 0;
    qsizetype length = 0;
};

std::vector<WordPiece> wordPieces(const QString& text);

// The part of a word that its symbols at `indices` spell, boxed round them; no word of the
// lists as a part.
ReadWord partOf(const ReadWord& word, const std::vector<size_t>& indices);

// `word` put on the end of `last`, with no space between: its text, box, symbols and the
// answers about its pieces.
void appendWord(ReadWord& last, const ReadWord& word);

// Whether two readings spell the same glyphs, letter by letter the same or a Latin
// letter and the Cyrillic one drawn like it.
bool sameGlyphs(const QString& a, const QString& b);
inline int letterOrFigureCount(const QString& text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); }));
}

// A reading of one letter this sure stands; under it the glyph is as likely an icon.
inline constexpr float sureLetter = 80;
// Whether `latin` and `cyrillic` are one capital both scripts draw alike ("M" and «М»).
bool capitalTwins(const QString& latin, const QString& cyrillic);

// --- Lines ----------------------------------------------------------------------------

inline int overlap(const QRect& a, const QRect& b)
{
    return std::min(a.x() + a.width(), b.x() + b.width()) - std::max(a.x(), b.x());
}

// Two boxes stand on one line where they share at least half the rows of the lower one.
inline bool onOneLine(const QRect& a, const QRect& b)
{
    const int rows = std::min(a.y() + a.height(), b.y() + b.height()) - std::max(a.y(), b.y());
    return 2 * rows >= std::min(a.height(), b.height());
}

// A gap between words on one row wider than one and a half line heights parts
// columns, table cells or labels side by side; narrower ones are word spaces.
inline bool columnGap(int gap, int height) { return 2 * gap > 3 * height; }

// A box of view pixels in the recogniser's space of a w × h view.
QRectF recognizerBox(const QRect& box, int w, int h);
// A box of the recogniser's space in pixels of a w × h view, the other way round.
QRectF pixelBox(const QRectF& box, int w, int h);

// A block's line runs across the whole view; a column gap starts another piece.
std::vector<WordRun> splitAtColumnGaps(std::vector<WordRun> lines);

// Pieces read apart (in different views or bands) that stand on the same row are
// joined into one line; column gaps keep lines apart.
std::vector<WordRun> joinedLines(std::vector<WordRun> pieces);

// The lines without specks read as text.
std::vector<WordRun> withoutSpecks(std::vector<WordRun> lines);

// For each glyph standing alone (`loneGlyphs`), the surest reading of it in any language of
// any part (`read`: parts, then languages); a word without text where none was read.
std::vector<ReadWord> surestLoneReadings(const std::vector<std::vector<std::vector<WordRun>>>& read, const std::vector<QRect>& loneGlyphs);

// The rows with each word read on a glyph alone taken as the surest reading of it, and
// without it where no language was sure of it: an icon, a tick or a bullet is read as a
// letter as often as a letter is. The marks read beside such a glyph stay.
std::vector<WordRun> withoutUnsureLoneGlyphs(std::vector<WordRun> rows, const std::vector<QRect>& loneGlyphs,
    const std::vector<ReadWord>& surest);

// The rows without those read over a photo (within `photoLines`) in which no word of two
// letters and more was read with some confidence: the photo's shapes lined up by chance.
std::vector<WordRun> withoutPhotoTexture(std::vector<WordRun> rows, const std::vector<QRect>& photoLines);

// Pieces of one table row joined into one line, the gaps between them as blanks.
std::vector<WordRun> tableRows(std::vector<WordRun> lines);

} // namespace tarnwick::ScreenTextRecognizer::stages

