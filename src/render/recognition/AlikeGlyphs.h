#pragma once

#include "render/recognition/ScreenTextRecognizer.h"

#include <QImage>

#include <vector>

namespace tarnwick::ScreenTextRecognizer::detail {

// Screen text is drawn on the pixel grid, so a letter of one font at one size looks
// the same wherever it stands. A glyph read as another character than its identical
// copies read inside words elsewhere in the picture takes their reading ("1ib32" and
// "Lib64" beside "old" become "lib32" and "lib64"), and a second character read on
// the same glyph ("1Lib32") goes. A glyph read with no letter beside it takes the
// reading of even one copy read at the edge of a word ("int 1" becomes "int i"). A sign
// read once over two alike glyphs side by side is read twice ("&" on "&&").
// `view` is the picture the runs were read from,
// dark on light, before it was enlarged `scale` times; the runs' boxes are in pixels
// of the enlarged view and their words carry their symbols.
void readAlikeGlyphsAlike(std::vector<WordRun>& runs, const QImage& view, double scale);

// A terminal or code font sets every glyph in a cell of one width, and a blank is an
// empty cell. In a row whose glyphs stand on such cells, words whose glyphs fill
// neighbouring cells are one word ("README .md", "std: :vector"), and a word whose
// glyphs leave a cell empty is two ("!=n"). Rows of other fonts are left as read.
void spaceOnTheCells(std::vector<WordRun>& runs, const QImage& view, double scale);

// A word of letters whose ink shows one blank inside it two and a half times as wide as
// the blanks between its other letters, twice the next widest, and a third of the word's
// height, is two words: the engines join words set close together ("Signup" for "Sign
// up", "ExportCSV") and may box glyphs over the blank. A capital O parted so from the word
// after it, no wider than that word's small o, is the figure zero («Оошибок» for «0 ошибок»).
void partWordsAtBlanks(std::vector<WordRun>& runs, const QImage& view, double scale);

} // namespace tarnwick::ScreenTextRecognizer::detail
