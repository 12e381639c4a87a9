#pragma once

// The passes that merge the readings of one view in each language, shared between their
// files: the rows of each language on one line (LanguageMerge.cpp), the words another
// language reads better (LanguageRows.cpp), where a script puts its letters
// (LetterPlaces.cpp), names and paths weighed piece by piece (NamePieces.cpp,
// NameMerge.cpp) and words a monospace grid or a space parts or joins (WordCells.cpp).

#include "render/recognition/ReadingStages.h"

#include <algorithm>
#include <vector>

namespace tarnwick::ScreenTextRecognizer::detail::merge {

using namespace stages;

// Small text is read once per language, each engine on its own thread, and the
// readings are merged row by row. Tesseract's own choice between languages goes
// word by word on confidence alone, and at these sizes a Russian reading often
// wins inside an English row ("in" as "т", "s" as "$", "lib32" as "11632"). A row
// takes the language that reads it best as a whole; a word of it changes to
// another language's reading where that one is a dictionary word and this one is
// not ("Code" over "Соде"), or where that one is sure and this one is not, as an
// English file name inside a Russian sentence. Figures and signs belong to every
// language, so a reading without letters never takes over. Words of one or two
// letters are too short for either test ("на" reads as the English "Ha"): they
// follow the language of the words on both sides.
constexpr float unsureWord = 60;
constexpr float sureWord = 85;
constexpr int shortWord = 2; // letters
constexpr float clearlySurer = 5;
constexpr float hopeless = 20;
constexpr float halfSure = 50;

inline int letterCount(const QString& text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }));
}

// --- Words of another language (LanguageRows.cpp) ---
bool knownWord(const ReadWord& word);
std::vector<size_t> coveredWords(const WordRun& row, const ReadWord& word);
// Signs a model reads letters of the other script as, which no Russian word holds.
extern const QString lookAlikeSigns;
bool figureAmidLetters(const QString& text);
void putInBetterWords(WordRun& row, int rowLanguage, const std::vector<ReadWord>& alternatives);
struct LetterLines;
void settleShortWords(WordRun& row, const std::vector<ReadWord>& alternatives, const LetterLines& lines);
// A capital both scripts draw alike, read surely in Latin, is Latin where the words next to
// it are not Russian: alone it is a status, a column, a key, seldom a Russian word.
void latinCapitals(WordRun& row, const std::vector<ReadWord>& readings);

// --- Where a script puts its letters (LetterPlaces.cpp) ---

// The top and base line of a row's small letters, as the symbols of all its readings
// place them (medians: each reading misplaces some).
struct LetterLines {
    int top = 0, base = 0;
    bool known() const { return base > top; }
    int height() const { return base - top; }
};

// A piece of a word placed in the view, with its symbols.
struct PlacedPiece {
    size_t word = 0; // in its list
    WordPiece range;
    size_t firstSymbol = 0, symbolCount = 0;
    QRect box;
    bool known = false;
    bool cut = false; // cut from the piece before it, with no sign between
};

LetterLines letterLines(const std::vector<const ReadWord*>& words);
std::vector<qsizetype> symbolStarts(const ReadWord& word);
QRect symbolsBox(const ReadWord& word, size_t first, size_t count);
std::vector<PlacedPiece> placedPieces(const ReadWord& word, size_t index);
int glyphsMisplaced(const ReadWord& word, size_t first, size_t count, const LetterLines& lines);
int pieceEvidence(const ReadWord& word, const PlacedPiece& piece, const LetterLines& lines);
void markMisplacedGlyphs(std::vector<WordRun>& line);
void smallLettersOfTheirShape(ReadWord& word, const LetterLines& lines);

// --- Names and paths, piece by piece (NamePieces.cpp, NameMerge.cpp) ---

// The row's words and the other readings' words that stand over each other, linked
// through any chain of such pairs: one name or path as each reading cut it.
struct WordGroup {
    std::vector<size_t> rowWords, otherWords;
};

std::vector<WordGroup> wordGroups(const WordRun& row, const std::vector<ReadWord>& alternatives);
std::vector<std::pair<size_t, size_t>> pairedPieces(const std::vector<PlacedPiece>& a, const std::vector<PlacedPiece>& b);
void joinPiecesUnderOne(std::vector<PlacedPiece>& pieces, const std::vector<ReadWord>& words,
    const std::vector<PlacedPiece>& others, const std::vector<ReadWord>& otherWords, const std::vector<size_t>& otherGroup);
void cutAtKnownHeads(std::vector<PlacedPiece>& pieces, const std::vector<ReadWord>& words,
    const std::vector<PlacedPiece>& others, const std::vector<ReadWord>& otherWords, const std::vector<size_t>& otherGroup);
void withSignsBeforeFigures(std::vector<PlacedPiece>& pieces, const std::vector<ReadWord>& words);
bool asciiSigns(const ReadWord& word, size_t from, size_t to);
bool latinLetters(const QString& text);
bool typeSized(const QString& text, const WordPiece& range);
bool fileType(const std::vector<ReadWord>& words, const std::vector<size_t>& group, const PlacedPiece& piece);
bool signReadAsLetters(const QString& signed_, const QString& other);
bool letterReadAsSign(const ReadWord& word, const PlacedPiece& piece, const ReadWord& otherWord, const PlacedPiece& other);
bool spaceBetween(const ReadWord& a, const ReadWord& b);
bool partedAtASign(const ReadWord& before, const ReadWord& word);
void mergePieces(WordRun& row, const std::vector<ReadWord>& alternatives);

// --- Words of one cell, symbols on no glyph, figures apart (WordCells.cpp) ---
void joinWordsOfOneCell(WordRun& row);
void dropSymbolsOnNoGlyph(std::vector<WordRun>& line);
void partFiguresFromWords(WordRun& row, const std::vector<ReadWord>& alternatives);

} // namespace tarnwick::ScreenTextRecognizer::detail::merge
