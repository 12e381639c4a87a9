// Each name or path of a row takes each piece from the reading that reads it best: takes
// the row and every reading of its line, gives the row's words pieced together. A piece
// no evidence settles (both readings words of their lists, or none) follows the nearest
// settled pieces of its name, and where none is settled stays as the row has it.

#include "render/recognition/MergeStages.h"

#include <limits>

namespace tarnwick::ScreenTextRecognizer::detail::merge {

namespace {

void appendSymbols(ReadWord& changed, const ReadWord& source, size_t from, size_t to)
{
    for (size_t k = from; k < to; ++k) {
        changed.text += source.symbols[k].text;
        changed.symbols.push_back(source.symbols[k]);
    }
}

bool noLetterOrFigure(const ReadSymbol& symbol)
{
    return std::none_of(symbol.text.begin(), symbol.text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

// One name or path of the row at a time: its pieces in the row's words (`mine`) and in the
// other readings' (`theirs`), paired, each pair settled for one side or the other.
class NameMerge {
public:
    NameMerge(WordRun& row, const std::vector<ReadWord>& alternatives, const LetterLines& lines)
        : row(row), alternatives(alternatives), lines(lines)
    {
    }

    // Appends the group's words, pieced together, to `result`.
    void merge(const WordGroup& of, std::vector<ReadWord>& into);

private:
    bool placePieces();
    int choice(size_t p, int& typeChoice) const;
    void trailingPieces();
    void settle(const std::vector<int>& choice, int typeChoice);
    bool theirsWhole();
    void mergeRowWord(size_t g);
    void appendSigns(size_t k, const std::vector<size_t>& own, size_t g, const ReadWord& word, ReadWord& changed) const;
    size_t cutAt(const PlacedPiece& a, size_t g, const ReadWord& word) const;
    bool signWordBetween(int left, int right) const;

    size_t pairOf(size_t m) const
    {
        const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == m; });
        return found == pairs.end() ? pairs.size() : size_t(found - pairs.begin());
    }
    bool taken(size_t m) const
    {
        const size_t p = pairOf(m);
        return p < pairs.size() && settled[p] > 0;
    }
    QString textOf(const ReadWord& word, const PlacedPiece& piece) const { return word.text.mid(piece.range.from, piece.range.length); }

    WordRun& row;
    const std::vector<ReadWord>& alternatives;
    const LetterLines& lines;
    const WordGroup* group = nullptr;
    std::vector<ReadWord>* result = nullptr;
    std::vector<PlacedPiece> mine, theirs;
    std::vector<std::pair<size_t, size_t>> pairs;
    // +1: the other reading's piece, -1: the row's, 0: not settled.
    std::vector<int> settled;
    size_t trailingTo = 0;
    const PlacedPiece* lastPaired = nullptr;
    // The tail of a taken piece past a space the row's model saw: the next row word,
    // with no piece of its own paired, stands over it ("ExportCSV" over «Ехрой» «С5$У»).
    std::vector<ReadSymbol> carried;
};

void NameMerge::merge(const WordGroup& of, std::vector<ReadWord>& into)
{
    group = &of;
    result = &into;
    mine.clear();
    theirs.clear();
    carried.clear();
    const bool spelt = placePieces();
    pairs = pairedPieces(mine, theirs);
    // Words without signs inside are left to the merge word by word.
    if (!spelt || pairs.empty()) {
        for (size_t i : group->rowWords)
            result->push_back(std::move(row.words[i]));
        return;
    }
    std::vector<int> choices(pairs.size(), 0);
    int typeChoice = 0;
    for (size_t p = 0; p < pairs.size(); ++p)
        choices[p] = choice(p, typeChoice);
    trailingPieces();
    settle(choices, typeChoice);
    if (theirsWhole())
        return;
    for (size_t g = 0; g < group->rowWords.size(); ++g)
        mergeRowWord(g);
}

// Places the pieces of the group's words in each reading, cut and joined alike; whether
// every word's symbols spell it and some word holds two pieces.
bool NameMerge::placePieces()
{
    bool spelt = true;
    size_t most = 0;
    auto place = [&](const std::vector<ReadWord>& words, const std::vector<size_t>& indices, std::vector<PlacedPiece>& into) {
        for (size_t i : indices) {
            std::vector<PlacedPiece> pieces = placedPieces(words[i], i);
            spelt = spelt && !symbolStarts(words[i]).empty();
            most = std::max(most, wordPieces(words[i].text).size());
            into.insert(into.end(), pieces.begin(), pieces.end());
        }
    };
    place(row.words, group->rowWords, mine);
    place(alternatives, group->otherWords, theirs);
    withSignsBeforeFigures(mine, row.words);
    withSignsBeforeFigures(theirs, alternatives);
    // Cut before pieces under one are joined: the name and its type stand under the
    // run-on piece.
    cutAtKnownHeads(mine, row.words, theirs, alternatives, group->otherWords);
    cutAtKnownHeads(theirs, alternatives, mine, row.words, group->rowWords);
    joinPiecesUnderOne(mine, row.words, theirs, alternatives, group->otherWords);
    joinPiecesUnderOne(theirs, alternatives, mine, row.words, group->rowWords);
    return spelt && most >= 2;
}

// Which reading's piece the evidence takes for the `p`-th pair; a file type no evidence
// settles sets `typeChoice`.
int NameMerge::choice(size_t p, int& typeChoice) const
{
    const PlacedPiece& a = mine[pairs[p].first];
    const PlacedPiece& b = theirs[pairs[p].second];
    const ReadWord& mineWord = row.words[a.word];
    const ReadWord& theirWord = alternatives[b.word];
    // A word of the lists read short of a letter that its model read as a sign is no
    // evidence: «поте» of «поте$/» over "notes/".
    auto evidence = [&](const ReadWord& word, PlacedPiece piece, const ReadWord& otherWord, const PlacedPiece& other) {
        piece.known = piece.known && !letterReadAsSign(word, piece, otherWord, other);
        return pieceEvidence(word, piece, lines);
    };
    int margin = evidence(theirWord, b, mineWord, a) - evidence(mineWord, a, theirWord, b);
    // A model that does not know a script loses some of its glyphs ("по" for "notes").
    const QString mineText = textOf(mineWord, a);
    const QString theirText = textOf(theirWord, b);
    const int mineLetters = letterCount(mineText);
    const int theirLetters = letterCount(theirText);
    // Under half the letters, it read some other word into the place («сои» of "countLines").
    if (3 * mineLetters < 2 * theirLetters)
        margin += 2 * mineLetters < theirLetters ? 3 : 2;
    else if (3 * theirLetters < 2 * mineLetters)
        margin -= 2 * theirLetters < mineLetters ? 3 : 2;
    // A piece of a few letters neither list knows is read better by the model that reads
    // the whole name far more surely: "(qGray(image" at 91 over «(9бгау(1таде» at 20. A
    // letter or two, and a file's type, say too little of the rest of the name.
    constexpr float farLessSure = 40;
    const bool pieceOfAName = !a.known && !b.known && std::min(mineLetters, theirLetters) >= 3 && p + 1 < pairs.size();
    if (pieceOfAName && theirWord.confidence + farLessSure <= mineWord.confidence)
        margin -= 1;
    else if (pieceOfAName && mineWord.confidence + farLessSure <= theirWord.confidence)
        margin += 1;
    if (signReadAsLetters(mineText, theirText))
        margin = -1;
    else if (signReadAsLetters(theirText, mineText))
        margin = 1;
    // A file's type follows no language of its name: where no evidence settles it,
    // it is read in Latin letters, and it leads no other piece.
    const bool lastPiece = p + 1 == pairs.size() && pairs[p].first + 1 == mine.size() && pairs[p].second + 1 == theirs.size();
    if (margin == 0 && lastPiece) {
        const bool mineType = latinLetters(mineText) && fileType(row.words, group->rowWords, a);
        const bool theirType = latinLetters(theirText) && fileType(alternatives, group->otherWords, b);
        typeChoice = theirType && !mineType ? 1 : mineType && !theirType ? -1 : 0;
    }
    // A piece of the other reading over two of the row's, across a sign the row's
    // word holds between them, read that sign as a letter («згсДагп» over "src/tarn"):
    // it is no reading of either alone.
    const bool overTwo = std::any_of(mine.begin(), mine.end(), [&](const PlacedPiece& m) {
        return &m != &a && m.word == a.word && 2 * overlap(m.box, b.box) >= m.box.width();
    });
    if (overTwo)
        margin = std::min(margin, -1);
    return margin > 0 ? 1 : margin < 0 ? -1 : 0;
}

// Pieces the other reading holds past the row's last one, where the row has at most
// signs: glyphs the row's model dropped at the end of a name ("работ." for "работ.txt").
// They follow the row's last piece with the other reading's signs, up to `trailingTo`.
void NameMerge::trailingPieces()
{
    trailingTo = 0;
    lastPaired = &theirs[pairs.back().second];
    if (pairs.back().first + 1 != mine.size() || mine.back().word != group->rowWords.back())
        return;
    for (size_t t = pairs.back().second + 1; t < theirs.size(); ++t) {
        const PlacedPiece& piece = theirs[t];
        if (piece.word != lastPaired->word || piece.box.center().x() <= mine.back().box.right()
            || letterCount(textOf(alternatives[piece.word], piece)) < 2 || pieceEvidence(alternatives[piece.word], piece, lines) < 0)
            break;
        trailingTo = piece.firstSymbol + piece.symbolCount;
    }
    // With the signs that close the word after them ("find(key);"): the row's own
    // signs there stood after its last piece, which is gone.
    const std::vector<ReadSymbol>& closing = alternatives[lastPaired->word].symbols;
    if (trailingTo > 0 && std::all_of(closing.begin() + qsizetype(trailingTo), closing.end(), noLetterOrFigure))
        trailingTo = closing.size();
}

// A pair the evidence leaves open follows the nearest settled pairs on both sides.
void NameMerge::settle(const std::vector<int>& choice, int typeChoice)
{
    settled = choice;
    for (size_t p = 0; p < pairs.size(); ++p) {
        if (choice[p] != 0)
            continue;
        // Pieces the other reading holds past the row's last one are its choice there.
        int left = 0, right = trailingTo > 0 ? 1 : 0;
        for (size_t k = p; k-- > 0;)
            if (choice[k] != 0) {
                left = choice[k];
                break;
            }
        for (size_t k = p + 1; k < pairs.size(); ++k)
            if (choice[k] != 0) {
                right = choice[k];
                break;
            }
        settled[p] = left == 0 ? right : right == 0 || right == left ? left : 0;
    }
    if (typeChoice != 0)
        settled.back() = typeChoice;
}

// All pieces of both readings paired and all the other reading's: its words whole, with
// their signs and spaces ("README.md" for "ВЕАОМЕ. та"). So too where the other reading's
// pieces that pair with none stand between pieces it pairs: glyphs the row's model ran
// into the piece after them ("565,2KB" over «565,2» «КБ», the "2" boxed over the comma).
bool NameMerge::theirsWhole()
{
    const auto [fewestTheirs, mostTheirs] = std::minmax_element(pairs.begin(), pairs.end(),
        [](const auto& a, const auto& b) { return a.second < b.second; });
    if (pairs.size() != mine.size() || fewestTheirs->second != 0 || mostTheirs->second + 1 != theirs.size()
        || !std::all_of(settled.begin(), settled.end(), [](int c) { return c > 0; }))
        return false;
    // Parted at a sign inside a name the row's reading holds as one word, they are one.
    for (size_t j : group->otherWords) {
        if (j != group->otherWords.front() && group->rowWords.size() == 1 && partedAtASign(result->back(), alternatives[j]))
            appendWord(result->back(), alternatives[j]);
        else
            result->push_back(alternatives[j]);
    }
    return true;
}

// A word of signs alone that the other reading holds between the middles of two of
// its pieces ("отчёт" "." "pdf"): the signs round its pieces are not all in their words.
bool NameMerge::signWordBetween(int left, int right) const
{
    return std::any_of(group->otherWords.begin(), group->otherWords.end(), [&](size_t j) {
        const ReadWord& other = alternatives[j];
        return wordPieces(other.text).empty() && other.box.center().x() > left && other.box.center().x() < right;
    });
}

// The next row word after the `g`-th, when all of it stands under the other reading's
// piece `a` past a space, and none of its pieces is paired: where it starts, `a` is cut.
size_t NameMerge::cutAt(const PlacedPiece& a, size_t g, const ReadWord& word) const
{
    if (g + 1 >= group->rowWords.size() || a.firstSymbol + a.symbolCount != alternatives[a.word].symbols.size())
        return 0;
    const size_t n = group->rowWords[g + 1];
    const ReadWord& next = row.words[n];
    const bool paired = std::any_of(mine.begin(), mine.end(), [&](const PlacedPiece& m) {
        return m.word == n && pairOf(size_t(&m - mine.data())) < pairs.size();
    });
    if (paired || 2 * overlap(next.box, a.box) < next.box.width() || !spaceBetween(word, next))
        return 0;
    const int middle = (word.symbols.back().box.right() + next.symbols.front().box.left()) / 2;
    for (size_t k = a.firstSymbol + 1; k < a.firstSymbol + a.symbolCount; ++k)
        if (alternatives[a.word].symbols[k].box.left() >= middle)
            return k;
    return 0;
}

// Appends the signs of the row's `g`-th word before its `k`-th own piece, or after the
// last one. The signs beside a piece taken from the other reading come from it too where
// it has the same pieces round them and fewer signs: a model reads letters it does not
// know as signs ("пое$/" for "notes/"); or as many, where only its signs are the ASCII
// ones names are written with ("—/" for "~/").
void NameMerge::appendSigns(size_t k, const std::vector<size_t>& own, size_t g, const ReadWord& word, ReadWord& changed) const
{
    const size_t from = k == 0 ? 0 : mine[own[k - 1]].firstSymbol + mine[own[k - 1]].symbolCount;
    const size_t to = k == own.size() ? word.symbols.size() : mine[own[k]].firstSymbol;
    const size_t before = k > 0 && pairOf(own[k - 1]) < pairs.size() ? pairs[pairOf(own[k - 1])].second : theirs.size();
    const size_t after = k < own.size() && pairOf(own[k]) < pairs.size() ? pairs[pairOf(own[k])].second : theirs.size();
    const bool beside = (k > 0 && taken(own[k - 1])) || (k < own.size() && taken(own[k]));
    // Between two pieces both taken from the other reading, its signs are read with
    // them, as many as the row's: «потеЛ\уап» is no reading of "home/ivan".
    const bool between = k > 0 && k < own.size() && taken(own[k - 1]) && taken(own[k]);
    const PlacedPiece* b = before < theirs.size() ? &theirs[before] : nullptr;
    const PlacedPiece* a = after < theirs.size() ? &theirs[after] : nullptr;
    // The other reading's signs here, when it has the same pieces round them.
    const ReadWord* source = nullptr;
    size_t otherFrom = 0, otherTo = 0;
    if (beside && b && a && after == before + 1 && a->word == b->word)
        source = &alternatives[a->word], otherFrom = b->firstSymbol + b->symbolCount, otherTo = a->firstSymbol;
    else if (beside && k == 0 && a && (after == 0 || theirs[after - 1].word != a->word)
        && !signWordBetween(after == 0 ? std::numeric_limits<int>::min() : theirs[after - 1].box.center().x(), a->box.center().x()))
        source = &alternatives[a->word], otherFrom = 0, otherTo = a->firstSymbol;
    else if (beside && k == own.size() && b && (before + 1 == theirs.size() || theirs[before + 1].word != b->word)
        && !signWordBetween(b->box.center().x(), before + 1 == theirs.size() ? std::numeric_limits<int>::max() : theirs[before + 1].box.center().x()))
        source = &alternatives[b->word], otherFrom = b->firstSymbol + b->symbolCount, otherTo = source->symbols.size();
    // A piece the other reading's model ran on into is no reading of the signs
    // before it: none stand there.
    if (source && a && a->cut && otherFrom == otherTo)
        source = nullptr;
    // Signs the row's model read before a word's first piece, where the other
    // reading holds its pieces round them in one word and the row's word before
    // already ends on the signs between them («работ.» «{хЕ» over "paoor.txt"):
    // the glyphs of the other reading's signs were read there, and these are more.
    // None come in: the word before holds them.
    if (k == 0 && g > 0 && source == nullptr && beside && a && after > 0 && theirs[after - 1].word == a->word && !result->empty()) {
        const ReadWord& other = alternatives[a->word];
        QString signs;
        for (size_t s = theirs[after - 1].firstSymbol + theirs[after - 1].symbolCount; s < a->firstSymbol; ++s)
            signs += other.symbols[s].text;
        if (!signs.isEmpty() && result->back().text.endsWith(signs))
            return;
    }
    // Before the first piece, signs the other reading holds where this one holds
    // none come in with its piece: the Russian model drops the "/" of "/home".
    if (k == own.size() && trailingTo > 0 && group->rowWords[g] == group->rowWords.back())
        appendSymbols(changed, alternatives[lastPaired->word], lastPaired->firstSymbol + lastPaired->symbolCount, trailingTo);
    else if (source && (otherTo - otherFrom < to - from || (otherTo - otherFrom == to - from
                            && ((asciiSigns(*source, otherFrom, otherTo) && !asciiSigns(word, from, to)) || between))
                        || (k == 0 && from == to && otherTo > otherFrom && asciiSigns(*source, otherFrom, otherTo))
                        || (k > 0 && k < own.size() && mine[own[k]].cut && otherTo > otherFrom)))
        appendSymbols(changed, *source, otherFrom, otherTo);
    else
        appendSymbols(changed, word, from, to);
}

// The row's `g`-th word of the group, piece by piece: each piece taken from the other
// reading where it is settled so, with the signs round it.
void NameMerge::mergeRowWord(size_t g)
{
    const size_t i = group->rowWords[g];
    const ReadWord& word = row.words[i];
    std::vector<size_t> own;
    for (size_t m = 0; m < mine.size(); ++m)
        if (mine[m].word == i)
            own.push_back(m);
    ReadWord changed = word;
    changed.text.clear();
    changed.symbols.clear();
    if (!carried.empty()) {
        changed.box = QRect();
        for (const ReadSymbol& symbol : carried) {
            changed.text += symbol.text;
            changed.box = changed.box.isNull() ? symbol.box : changed.box.united(symbol.box);
        }
        changed.symbols = std::move(carried);
        changed.knownPieces.clear();
        changed.dictionary = false;
        carried.clear();
        result->push_back(std::move(changed));
        return;
    }
    for (size_t k = 0; k <= own.size(); ++k) {
        appendSigns(k, own, g, word, changed);
        if (k == own.size())
            break;
        const PlacedPiece& piece = mine[own[k]];
        if (!taken(own[k])) {
            appendSymbols(changed, word, piece.firstSymbol, piece.firstSymbol + piece.symbolCount);
            continue;
        }
        const PlacedPiece& a = theirs[pairs[pairOf(own[k])].second];
        const size_t cut = k + 1 == own.size() ? cutAt(a, g, word) : 0;
        if (cut > 0) {
            const std::vector<ReadSymbol>& symbols = alternatives[a.word].symbols;
            appendSymbols(changed, alternatives[a.word], a.firstSymbol, cut);
            carried.assign(symbols.begin() + qsizetype(cut), symbols.end());
            appendSymbols(changed, word, piece.firstSymbol + piece.symbolCount, word.symbols.size());
            if (k < changed.knownPieces.size())
                changed.knownPieces[k] = false;
            break;
        }
        appendSymbols(changed, alternatives[a.word], a.firstSymbol, a.firstSymbol + a.symbolCount);
        if (k < changed.knownPieces.size())
            changed.knownPieces[k] = a.known;
    }
    // Words of the row that one word of the other reading spans are one word
    // once a piece of it is put in: an engine parts words at the glyphs it cannot
    // read ("план." "Ех" for "план.txt").
    // So are words the row's engine parted after a sign inside a name ("photo_"
    // "2024." "jpg"), where the other reading holds them as one.
    // And words it parted before such a sign ("photo" "_2024.jpg").
    const bool afterSign = i != group->rowWords.front() && !result->empty() && partedAtASign(result->back(), changed);
    // A word whose run-on piece was cut, its head kept as read, stays a word of its
    // own: «за» «мартхёх» under "3aMapT.xlsx" is «за март.xlsx», no «замарт.xlsx».
    const bool ownStart = !own.empty() && mine[own.front()].range.from == 0 && !taken(own.front()) && own.size() > 1 && mine[own[1]].cut;
    const bool joined = i != group->rowWords.front() && group->otherWords.size() == 1 && !ownStart
        && (afterSign || std::any_of(settled.begin(), settled.end(), [](int c) { return c > 0; }));
    if (joined)
        appendWord(result->back(), changed);
    else
        result->push_back(std::move(changed));
}

} // namespace

void mergePieces(WordRun& row, const std::vector<ReadWord>& alternatives)
{
    std::vector<const ReadWord*> all;
    for (const ReadWord& word : alternatives)
        all.push_back(&word);
    const LetterLines lines = letterLines(all);
    std::vector<ReadWord> result;
    NameMerge names(row, alternatives, lines);
    for (const WordGroup& group : wordGroups(row, alternatives))
        names.merge(group, result);
    for (ReadWord& word : result)
        if (wordPieces(word.text).size() > 1)
            smallLettersOfTheirShape(word, lines);
    row.words = std::move(result);
}

} // namespace tarnwick::ScreenTextRecognizer::detail::merge
