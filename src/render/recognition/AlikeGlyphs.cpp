// Glyphs read alike: takes the runs read and the view they were read on, gives each glyph
// read as its identical copies are read inside words, and letters drawn alike in both cases
// in the case of their height.

#include "render/recognition/AlikeGlyphs.h"

#include "render/recognition/GlyphInk.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ReadingStages.h"

#include <QHash>

#include <map>
#include <numeric>

namespace tarnwick::ScreenTextRecognizer::detail {

namespace {

using namespace glyphs;

// A word whose symbols spell it, with the glyph under each symbol.
struct PlacedWord {
    ReadWord* word;
    WordRun* run;
    std::vector<Placed> symbols;
};


// Letters drawn alike in both cases but for their height. The engine takes their case
// from its word lists and the words round them: «общие» for «Общие» heading a form,
// «СНИМКОВ» for «снимков» after «Редактор».
bool caseTwin(QChar c)
{
    return QStringView(u"ВГЖЗИКЛМНОПСТХШЪЫЬЭЮЯвгжзиклмнопстхшъыьэюяCOSVWXZcosvwxz").contains(c);
}

// The case of each twin letter (`texts`, a symbol's reading each) from its glyph's height
// against small letters and capitals: a twin as tall as the capitals starting a word is a
// capital, one as low as the small letters is small. The word's own letters weigh first:
// a bar's items stand beside a brand name in larger, bolder letters.
void caseByHeight(const std::vector<PlacedWord>& words, std::vector<std::vector<QString>>& texts)
{
    // Small letters of the x-height alone, and capitals drawn unlike their small letters.
    const auto small = [](QChar c) { return QStringView(u"авгежзиклмнопстхчшъыьэюяacemnorsuvwxz").contains(c); };
    const auto capital = [](QChar c) { return c.isDigit() || QStringView(u"АБЕРУABDEFGHKLMNPRTUY").contains(c); };
    struct Heights {
        std::vector<double> small, capitals;
    };
    // Every twin is at least half as wide as tall: a narrower glyph is a piece of a letter
    // whose thin stroke broke, and the letters after it fell to the wrong glyphs.
    const auto letterAt = [&](size_t i, size_t k) {
        const QRect& box = words[i].symbols[k].glyph.box;
        if (texts[i][k].size() != 1 || box.isEmpty() || (caseTwin(texts[i][k][0]) && 2 * box.width() < box.height()))
            return QChar();
        return texts[i][k][0];
    };
    const auto add = [&](Heights& into, size_t i, size_t k) {
        const QChar c = letterAt(i, k);
        const double height = words[i].symbols[k].glyph.box.height();
        if (small(c))
            into.small.push_back(height);
        else if (capital(c))
            into.capitals.push_back(height);
    };
    std::map<const WordRun*, Heights> lines;
    for (size_t i = 0; i < words.size(); ++i)
        for (size_t k = 0; k < words[i].symbols.size(); ++k)
            add(lines[words[i].run], i, k);
    for (size_t i = 0; i < words.size(); ++i) {
        // A name or a path pairs its glyphs with its symbols least surely: the engine
        // reads its signs twice or not at all ("—-/Музыка" for "~/Музыка").
        if (stages::wordPieces(words[i].word->text).size() > 1)
            continue;
        const Heights& line = lines[words[i].run];
        Heights own;
        for (size_t k = 0; k < words[i].symbols.size(); ++k)
            add(own, i, k);
        const std::vector<double>& smalls = own.small.size() >= 2 ? own.small : line.small;
        const std::vector<double>& capitals = !own.capitals.empty() ? own.capitals : line.capitals;
        if (smalls.empty())
            continue;
        // The capitals of the usual screen fonts stand a third taller than their small
        // letters; closer than that the two cannot be told apart, and capitals half as
        // tall again are of other text in the line (a heading, a brand name).
        const double low = median(smalls);
        const double measured = capitals.empty() ? 0 : median(capitals);
        const double tall = measured >= 1.15 * low && measured <= 1.6 * low ? measured : 1.35 * low;
        if (!capitals.empty() && measured < 1.15 * low)
            continue;
        bool first = true;
        for (size_t k = 0; k < words[i].symbols.size(); ++k) {
            const QChar c = letterAt(i, k);
            if (c.isNull() || !c.isLetter()) {
                first = first && !c.isLetterOrNumber() && !texts[i][k].isEmpty() && !texts[i][k][0].isLetterOrNumber();
                continue;
            }
            const double height = words[i].symbols[k].glyph.box.height();
            // Round letters overshoot the small letters' height by a pixel.
            if (caseTwin(c) && c.isLower() && first && 2 * height >= low + tall && height >= low + 2)
                texts[i][k] = QString(c.toUpper());
            else if (caseTwin(c) && c.isUpper() && 4 * height <= 3 * low + tall)
                texts[i][k] = QString(c.toLower());
            first = false;
        }
    }
}


// Readings inside words, where the engine had letters on both sides to go by, and in runs of
// three letters and figures and more, where it had two on one side at least ("int"; "+41" read
// on "++i" gives too little). Copies of one bitmap are compared once: a screen of text holds a
// few hundred different glyphs.
struct Copies {
    const Glyph* glyph;
    std::map<QChar, int> readings;
};
struct Table {
    std::vector<Copies> copies;
    QHash<QByteArray, size_t> byBitmap;
    std::map<std::pair<int, int>, std::vector<size_t>> bySize;
    QHash<QByteArray, QChar> agreed; // the answers given

    void add(const Glyph& glyph, QChar reading)
    {
        const QByteArray key = bitmap(glyph);
        auto found = byBitmap.find(key);
        if (found == byBitmap.end()) {
            found = byBitmap.insert(key, copies.size());
            copies.push_back({&glyph, {}});
            bySize[{glyph.box.width(), glyph.box.height()}].push_back(*found);
        }
        ++copies[*found].readings[reading];
    }

    // The reading most copies of a glyph have: `least` at least, three in four of them one
    // way (with `most`, more than half).
    QChar agreedOn(const Glyph& glyph, int least, bool most = false)
    {
        const QByteArray key = bitmap(glyph);
        if (const auto found = agreed.constFind(key); found != agreed.cend())
            return *found;
        std::map<QChar, int> votes;
        int all = 0;
        for (int dw = -1; dw <= 1; ++dw)
            if (const auto found = bySize.find({glyph.box.width() + dw, glyph.box.height()}); found != bySize.end())
                for (size_t i : found->second)
                    if (same(glyph, *copies[i].glyph))
                        for (const auto& [reading, count] : copies[i].readings) {
                            votes[reading] += count;
                            all += count;
                        }
        const auto best = std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        const bool agree = best != votes.end() && (most ? 2 * best->second > all : 4 * best->second >= 3 * all);
        const QChar reading = !agree || best->second < least ? QChar() : best->first;
        agreed.insert(key, reading);
        return reading;
    }
};

bool lettered(const std::vector<Placed>& symbols, size_t k) { return k < symbols.size() && !single(*symbols[k].symbol).isNull(); }

class AlikeReading {
public:
    explicit AlikeReading(const std::vector<PlacedWord>& words)
    {
        for (const PlacedWord& word : words)
            for (size_t k = 0; k < word.symbols.size(); ++k)
                count(word.symbols, k);
    }

    // Decided on the readings as they came: an empty text drops a symbol.
    std::vector<QString> decided(const std::vector<Placed>& symbols)
    {
        std::vector<QString> out;
        for (const Placed& p : symbols)
            out.push_back(p.symbol->text);
        for (size_t k = 0; k < symbols.size(); ++k)
            decide(symbols, k, out);
        return out;
    }

private:
    void count(const std::vector<Placed>& symbols, size_t k)
    {
        const Placed& p = symbols[k];
        const bool readTwice = std::any_of(symbols.begin(), symbols.end(), [&](const Placed& q) { return &q != &p && q.glyphOf == k; });
        if (!p.glyph.empty() && !readTwice && bracket(p.symbol->text))
            brackets_.add(p.glyph, p.symbol->text[0]);
        if (p.glyph.empty() || readTwice || single(*p.symbol).isNull())
            return;
        // The letters and figures read in one run with this one.
        size_t from = k, to = k + 1;
        while (from > 0 && lettered(symbols, from - 1))
            --from;
        while (lettered(symbols, to))
            ++to;
        if (to - from >= 3)
            beside_.add(p.glyph, single(*p.symbol));
        if (to - from >= 2)
            paired_.add(p.glyph, single(*p.symbol));
        if (from < k && to > k + 1)
            inside_.add(p.glyph, single(*p.symbol));
    }

    // Inside words two copies at least must agree: a word's edge is read less surely ("1ib32",
    // "Lib64"), so one copy could be such a misreading. A glyph read with no letter or figure
    // beside it ("int 1", "++1") had nothing to go by, and its readings alone are not evidence,
    // since the same pixels read alone come out the same each time: one copy read beside
    // letters outweighs them. A glyph read twice with no letter beside it ("-1l" on the "l" of
    // "ls -l") needs even less: the engine could not tell which of two strokes it saw, and
    // copies read beside one letter ("ls"), most of them one way, tell it.
    QChar agreed(const Glyph& glyph, bool alone, bool readTwice)
    {
        QChar reading = inside_.agreedOn(glyph, 2);
        if (reading.isNull() && alone)
            reading = beside_.agreedOn(glyph, 1);
        return reading.isNull() && alone && readTwice ? paired_.agreedOn(glyph, 1, true) : reading;
    }

    void decide(const std::vector<Placed>& symbols, size_t k, std::vector<QString>& out)
    {
        const Placed& p = symbols[k];
        // An "!" read on one unbroken stroke after a small Latin letter is the "l" an engine
        // reads so at a word's end ("index.htm!"), and so is an "i", whose dot stands apart
        // from its stem ("март.xisx").
        if ((p.symbol->text == QStringLiteral("!") || p.symbol->text == QStringLiteral("i")) && !p.glyph.empty() && unbroken(p.glyph) && k > 0
            && symbols[k - 1].symbol->text.size() == 1 && symbols[k - 1].symbol->text[0].isLower()
            && symbols[k - 1].symbol->text[0].script() == QChar::Script_Latin) {
            out[k] = QStringLiteral("l");
            return;
        }
        const QChar now = single(*p.symbol);
        if (p.glyph.empty() || now.isNull())
            return;
        // The neighbours of the glyph, past a second reading of it ("1l" on an "l").
        size_t next = k + 1;
        while (next < symbols.size() && symbols[next].glyphOf == k)
            ++next;
        const bool alone = !(k > 0 && lettered(symbols, k - 1)) && !lettered(symbols, next);
        const QChar reading = agreed(p.glyph, alone, next > k + 1);
        // A bracket read as the stroke of a letter ("w[il;" for "w[i];"), where copies of its
        // glyph read as that bracket and none as a letter.
        if (reading.isNull() && QStringView(u"lI1|").contains(now) && unbroken(p.glyph))
            if (const QChar sign = brackets_.agreedOn(p.glyph, 2); !sign.isNull()) {
                out[k] = QString(sign);
                return;
            }
        // A letter alone takes the other script's letter its copies inside words are read as,
        // where the two are drawn apart («п» and "n" of "i != n;"): a model reads a letter of
        // the other script as its own nearest one.
        const bool acrossScripts = alone && script(now) >= 0 && script(reading) >= 0 && script(now) != script(reading) && now.isLetter()
            && reading.isLetter() && !stages::sameGlyphs(QString(now), QString(reading));
        if (reading.isNull() || (reading != now && !mayBecome(now, reading) && !acrossScripts))
            return;
        out[k] = QString(reading);
        // A character read a second time on the same glyph goes.
        for (size_t j = 0; j < symbols.size(); ++j)
            if (j != k && symbols[j].glyphOf == k)
                out[j].clear();
    }

    Table inside_, beside_, paired_, brackets_;
};

} // namespace

void readAlikeGlyphsAlike(std::vector<WordRun>& runs, const QImage& view, double scale)
{
    if (view.isNull() || view.format() != QImage::Format_Grayscale8 || scale <= 0)
        return;
    const int paper = mostCommonGrey(view);
    readSignsOnTheirGlyphs(runs, view, scale, paper);
    // The symbols of each word whose symbols spell it.
    std::vector<PlacedWord> words;
    for (WordRun& run : runs)
        for (ReadWord& word : run.words)
            if (symbolsSpell(word))
                words.push_back({&word, &run, placedSymbols(word, view, scale, paper)});
    AlikeReading alike(words);
    std::vector<std::vector<QString>> texts;
    for (const PlacedWord& word : words)
        texts.push_back(alike.decided(word.symbols));
    caseByHeight(words, texts);
    for (size_t i = 0; i < words.size(); ++i) {
        const QString text = texts[i].empty() ? QString() : std::accumulate(texts[i].begin(), texts[i].end(), QString());
        if (text == words[i].word->text || text.isEmpty())
            continue;
        words[i].word->text = text;
        words[i].run->respell();
    }
}

} // namespace tarnwick::ScreenTextRecognizer::detail
