// One view read by the engine: takes a grey or colour view and a warm engine, gives the rows
// it reads there, each word with its box, confidence and, where asked, its characters and
// the answers of the language's word lists about its pieces.

#include "render/recognition/ReadingStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// The fewest letters a word of the lists at the start of a piece must hold to count: the
// lists hold short words inside any run of letters.
constexpr qsizetype shortestHead = 4;

QString takeText(char* text)
{
    const QString result = QString::fromUtf8(text).trimmed();
    delete[] text;
    return result;
}

bool cancelRequested(void* test, int)
{
    return (*static_cast<const std::function<bool()>*>(test))();
}

// Asked while the engine that read the word is at hand: a name mixes the languages piece by
// piece, and each piece is a word of its own; where its last piece is none, the letters at
// its start that are one.
void askTheLists(tesseract::TessBaseAPI& api, ReadWord& word)
{
    for (const WordPiece& piece : wordPieces(word.text)) {
        const QString text = word.text.mid(piece.from, piece.length);
        const bool letters = std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
        word.knownPieces.push_back(letters && api.IsValidWord(text.toUtf8().constData()) != 0);
    }
    if (word.knownPieces.empty() || word.knownPieces.back())
        return;
    const WordPiece last = wordPieces(word.text).back();
    for (qsizetype length = last.length - 1; length >= shortestHead && word.knownHead == 0; --length) {
        const QString head = word.text.mid(last.from, length);
        if (std::all_of(head.begin(), head.end(), [](QChar c) { return c.isLetter(); }) && api.IsValidWord(head.toUtf8().constData()) != 0)
            word.knownHead = int(length);
    }
}

} // namespace

std::vector<WordRun> readView(tesseract::TessBaseAPI& api, const QImage& view, const std::function<bool()>& isCancelled,
    bool symbols)
{
    api.SetImage(view.constBits(), view.width(), view.height(), view.depth() / 8, static_cast<int>(view.bytesPerLine()));
    const QImage grey = view.format() == QImage::Format_Grayscale8 ? view : greyOnWhite(view);

    tesseract::ETEXT_DESC monitor;
    if (isCancelled) {
        monitor.cancel = &cancelRequested;
        monitor.cancel_this = const_cast<std::function<bool()>*>(&isCancelled);
    }
    const int status = api.Recognize(&monitor);
    if (isCancelled && isCancelled()) {
        api.Clear();
        throw CancellationError();
    }

    // A sign read where the view holds no ink at all (a dash in the gap between two
    // badges) is the engine's guess at a wide gap, not text.
    const int paper = mostCommonGrey(grey);
    auto signOnPaper = [&](const ReadWord& word) {
        if (std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            return false;
        const QRect box = word.box.intersected(grey.rect());
        for (int y = box.top(); y <= box.bottom(); ++y) {
            const uchar* row = grey.constScanLine(y);
            for (int x = box.left(); x <= box.right(); ++x)
                if (std::abs(int(row[x]) - paper) > 16)
                    return false;
        }
        return true;
    };
    std::vector<WordRun> pieces;
    std::unique_ptr<tesseract::ResultIterator> it(status == 0 ? api.GetIterator() : nullptr);
    if (it) {
        using tesseract::RIL_TEXTLINE;
        using tesseract::RIL_WORD;
        auto boxAt = [&](tesseract::PageIteratorLevel level, QRect& box) {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(level, &left, &top, &right, &bottom) || right <= left || bottom <= top)
                return false;
            box = QRect(left, top, right - left, bottom - top);
            return true;
        };
        do {
            if (it->Empty(RIL_TEXTLINE))
                continue;
            WordRun piece;
            piece.text = takeText(it->GetUTF8Text(RIL_TEXTLINE));
            bool dropped = false;
            const bool boxed = boxAt(RIL_TEXTLINE, piece.box);
            do {
                ReadWord word;
                if (!it->Empty(RIL_WORD)) {
                    word.text = takeText(it->GetUTF8Text(RIL_WORD));
                    word.confidence = it->Confidence(RIL_WORD);
                    word.dictionary = it->WordIsFromDictionary();
                    if (symbols)
                        askTheLists(api, word);
                    const bool boxedWord = boxAt(RIL_WORD, word.box);
                    while (symbols && boxedWord) {
                        ReadSymbol symbol;
                        if (!it->Empty(tesseract::RIL_SYMBOL) && boxAt(tesseract::RIL_SYMBOL, symbol.box)) {
                            symbol.text = takeText(it->GetUTF8Text(tesseract::RIL_SYMBOL));
                            word.symbols.push_back(std::move(symbol));
                        }
                        if (it->IsAtFinalElement(RIL_WORD, tesseract::RIL_SYMBOL) || !it->Next(tesseract::RIL_SYMBOL))
                            break;
                    }
                    if (!word.text.isEmpty() && boxedWord && !signOnPaper(word))
                        piece.words.push_back(std::move(word));
                    else if (boxedWord && signOnPaper(word))
                        dropped = true;
                }
                if (it->IsAtFinalElement(RIL_TEXTLINE, RIL_WORD))
                    break;
            } while (it->Next(RIL_WORD));
            if (dropped)
                piece.respell();
            if (boxed && !piece.text.isEmpty())
                pieces.push_back(std::move(piece));
        } while (it->Next(RIL_TEXTLINE));
    }
    it.reset();
    api.Clear();
    return pieces;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
