#pragma once

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

// One recognised line of text. `bounds` lies in the recogniser's space: the image
// is the unit square, origin at its lower-left corner, y upward (a larger midY is
// higher on the screen). A box converts to pixels as x = minX·W, top = (1 − maxY)·H.
struct RecognizedTextLine {
    QString text;
    QRectF bounds;
};

// Text recognition of screen areas over Tesseract (LSTM, Russian and English first).
// Engines stay warm between readings, since starting one costs more than reading a
// small selection.
namespace ScreenTextRecognizer {

// Asked for before the user's own languages, in this order.
inline constexpr std::array<const char*, 2> languages{"ru-RU", "en-US"};

// Largest image read at all; Tesseract itself stops at 32767 pixels a side.
inline constexpr qint64 maxPixels = 50'000'000;
inline constexpr int maxSide = 32767;

// The text of the image in reading order, lines joined by "\n"; no value when no
// line was read. Blocks for the whole recognition. Throws TarnwickError when the
// language data is missing or the image is too large to read.
std::optional<QString> recognize(const QImage& image);

// The same lines, top to bottom, and left to right within a visual row.
std::vector<RecognizedTextLine> readingOrder(std::vector<RecognizedTextLine> lines);

// The identifiers the recogniser is set up with: for "ru-RU", "en-US" and then each
// preferred language, the supported identifier equal to it or else the first one
// with the same language prefix, without repeats; in the order of the candidates.
QStringList chooseLanguages(const QStringList& supported, const QStringList& preferred);

// The identifier of a Tesseract data file ("rus" → "ru-RU"); empty for data that is
// no language of its own (osd, equ) or that we do not know.
QString languageIdentifier(const QString& dataName);

// Shared by recognition and the word regions: one pass of warm engines.
namespace detail {

enum class Reading {
    corrected, // with the language's dictionaries
    literal,   // without dictionaries, for boxes of whatever is written
};

struct Word {
    QString text;
    QRectF bounds; // recogniser space
};

struct Line {
    QString text; // trimmed
    QRectF bounds; // recogniser space
    std::vector<Word> words;
};

enum class Layout {
    // Scattered text, the way screens hold it: words on one row with ordinary spaces
    // form a line, wider gaps (columns, labels side by side) start another. Light
    // text on dark panels is read as well as dark text on light.
    scattered,
    // One line, possibly a single character, as in a small spot.
    singleLine,
};

// Reads the image: lines ordered by their left edge, blank ones dropped; an image under 3 pixels a side reads as nothing. Throws TarnwickError (missing data, oversized image) and
// CancellationError once `isCancelled` answers true. Independent parts are read on
// several threads at once, each asking `isCancelled`. A scattered image is read plainly as
// well, as the engine alone reads it; `plainWords`, when given, receives every word of that
// reading with a letter or a figure, however unsure (the text blur covers them all).
std::vector<Line> readLines(const QImage& image, Reading reading, Layout layout,
    const std::function<bool()>& isCancelled = {}, std::vector<Word>* plainWords = nullptr);

// Throws the oversized-image error for an image of this size.
void checkReadableSize(const QSize& size);

// One character of a word as the engine read it, in pixels of the view.
struct ReadSymbol {
    QString text;
    QRect box;
};

// A word as one engine read it, in pixels of the view.
struct ReadWord {
    QString text;
    QRect box;
    float confidence = 0;    // 0–100
    bool dictionary = false; // a word of the language's word lists
    int language = 0;        // the reading it comes from, when several are merged
    std::vector<ReadSymbol> symbols{}; // kept only where the glyphs are compared afterwards
    // For each piece of the word between the signs that part names and paths
    // ("notes", "черновик", "md" of "notes/черновик.md"), whether the language's word
    // lists hold it; empty where nobody asked.
    std::vector<bool> knownPieces{};
    // Where the word's last piece is no word of the lists, the letters at its start that
    // are one («работ» of «работ4ж», a name's type read on as letters); 0 where none are or
    // nobody asked.
    int knownHead = 0;
    // How many places of the view the same pair of readings was given at: its
    // confidence is then the mean over all of them.
    int copies = 1;
    // Glyphs stand where the word's own script never puts them ("HoBbIx" for «новых»,
    // its capitals no taller than its small letters): the other script's word misread.
    bool misplaced = false;
};

// A run of words as one engine found it: a row of a block, or a piece of one
// between column gaps.
struct WordRun {
    QString text;
    QRect box;
    std::vector<ReadWord> words;

    // The text spelt again from the words, a blank between each, once they changed.
    void respell()
    {
        QStringList texts;
        for (const ReadWord& word : words)
            texts.append(word.text);
        text = texts.join(u' ');
    }
};

// Small text is read once per language: the readings of one view, in the order of
// the languages, become one row for each line any of them found, in the language
// that reads it best, with the words that another language reads better put in.
std::vector<WordRun> mergedReadings(std::vector<std::vector<WordRun>> readings);

// The confidences each pair of languages gave the same words, summed over every
// place the same pair of readings stands: a column of a listing or a name used
// again is drawn the same each time, so all its copies weigh together.
struct RecurringReadings {
    struct Pooled {
        double first = 0, second = 0;
        int copies = 0;
    };
    QHash<QString, Pooled> pairs;
};
// Over the readings of all parts of a view, each in the order of the languages.
RecurringReadings recurringReadings(const std::vector<std::vector<std::vector<WordRun>>>& parts);
std::vector<WordRun> mergedReadings(std::vector<std::vector<WordRun>> readings, const RecurringReadings& recurring);

} // namespace detail

} // namespace ScreenTextRecognizer

} // namespace tarnwick
