// Reading a picture: takes the picture, gives its lines of text. The stages, in order: the
// views to read (the text layer, or each polarity), cut into parts read on several threads in
// each language; the readings merged row by row; glyphs read alike; what the engine alone
// reads added; and the lines put together.

#include "render/recognition/ScreenTextRecognizer.h"

#include "render/recognition/AlikeGlyphs.h"
#include "render/recognition/PlainReading.h"
#include "render/recognition/ReadingStages.h"

#include "platform/TarnwickError.h"

#include <QTransform>

#include <tesseract/baseapi.h>

#include <array>
#include <iterator>

namespace tarnwick::ScreenTextRecognizer {

using namespace stages;

std::optional<QString> recognize(const QImage& image)
{
    std::vector<RecognizedTextLine> lines;
    for (detail::Line& line : detail::readLines(image, detail::Reading::corrected, detail::Layout::scattered))
        lines.push_back({std::move(line.text), line.bounds});
    QStringList texts;
    for (const RecognizedTextLine& line : readingOrder(std::move(lines)))
        texts.append(line.text);
    const QString joined = texts.join(u'\n');
    if (joined.isEmpty())
        return std::nullopt;
    return joined;
}

namespace detail {

namespace {

QRect scaledBy(const QRect& box, double factor) { return QTransform::fromScale(factor, factor).mapRect(QRectF(box)).toAlignedRect(); }

class Reader {
public:
    Reader(const QImage& image, Reading reading, Layout layout, const std::function<bool()>& isCancelled,
        std::vector<Word>* plainWords)
        : image_(image)
        , reading_(reading)
        , scattered_(layout == Layout::scattered)
        , isCancelled_(isCancelled)
        , plainWords_(plainWords)
        , setup_(currentSetup())
    {
    }

    std::vector<Line> lines()
    {
        prepareViews();
        cutParts();
        readParts();
        std::vector<WordRun> pieces = mergedRows();
        // The picture read plainly, as the engine alone reads it, but for the words read
        // surely already: what our views left out, the engine may still read.
        if (scattered_) {
            std::vector<QRect> readAlready;
            for (const WordRun& piece : pieces)
                for (const ReadWord& word : piece.words)
                    if (word.confidence >= heldConfidence)
                        readAlready.push_back(scaledBy(word.box, 1 / factor_).adjusted(-2, -2, 2, 2));
            const PlainViews plain = plainReading(image_, reading_, isCancelled_, readAlready);
            if (plainWords_)
                for (const PlainView& view : plain)
                    for (const WordRun& row : view.rows)
                        for (const ReadWord& word : row.words)
                            if (std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
                                plainWords_->push_back({word.text, recognizerBox(word.box, image_.width(), image_.height())});
            pieces = withPlainWords(std::move(pieces), plain, factor_);
        }
        const int w = view_.width(), h = view_.height();
        std::vector<Line> lines;
        std::vector<WordRun> joined = joinedLines(std::move(pieces));
        if (scattered_)
            joined = tableRows(withoutSpecks(std::move(joined)));
        for (WordRun& piece : joined) {
            Line line{std::move(piece.text), recognizerBox(piece.box, w, h), {}};
            for (ReadWord& word : piece.words)
                line.words.push_back({std::move(word.text), recognizerBox(word.box, w, h)});
            lines.push_back(std::move(line));
        }
        return lines;
    }

private:
    // A scattered picture is read from its text lines alone, each dark on white; a picture
    // without lines of glyphs (one letter, text larger than glyphs are taken to be) is read
    // as one view dark on light. Small text is enlarged; boxes come back in the unit
    // square of the enlarged view, the same as the image's. Each language reads on its own
    // and the readings are merged row by row: the combined engine's choice word by word on
    // confidence puts the other language's look-alikes into a row at every size ("т" for
    // "in", "РОЕ" for "PDF"). Boxes alone need no language and keep the combined engine.
    void prepareViews()
    {
        const QImage grey = readableGrey(image_);
        if (scattered_) {
            TextLayer layer = textLayer(grey);
            if (!layer.lines.empty())
                view_ = std::move(layer.view);
            for (const TextLine& line : layer.lines) {
                if (line.onPhoto)
                    photoLines_.push_back(line.box);
                if (line.lone)
                    loneGlyphs_.push_back(line.box.adjusted(-1, -1, 1, 1));
            }
        }
        if (view_.isNull())
            view_ = polarityView(grey);
        shown_ = view_;
        if (scattered_) {
            const int height = textHeight(view_);
            factor_ = enlargement(height, view_.size());
            small_ = smallText(height);
            view_ = enlarged(view_, factor_);
        }
        for (QRect& box : photoLines_)
            box = scaledBy(box, factor_);
        for (QRect& box : loneGlyphs_)
            box = scaledBy(box, factor_);
        languages_ = {setup_.languages};
        if (reading_ == Reading::corrected)
            languages_ = singleLanguages(setup_);
    }

    // Independent parts (bands of lines) are read at once, each on a thread with a warm
    // engine, and merged in view order. A band holds two lines of ordinary screen text at
    // least; thinner bands read worse. Text under 14 px, enlarged
    // two and a half times and more, reads far better as a block, which takes its line and
    // word spacing from all its lines: read once per language, on as many threads, it is cut
    // where each band keeps two, so that the passes of all languages run at once.
    void cutParts()
    {
        leastInkRows_ = small_ ? (languages_.size() > 1 ? 60 : 120) : 40;
        const int threads = ReadingPool::helpers() + 1;
        if (scattered_)
            parts_ = bands(view_, std::max(1, threads / int(languages_.size())), leastInkRows_);
        else
            parts_.push_back({view_, 0});
        if (scattered_)
            cutForSizes();
    }

    // The parts cut for sizes of text, each part of a large view on a thread of its own: on a
    // full page the scans take a tenth of a second, before any reading can start. A small
    // view's take less than waking a thread on a busy machine. A page's columns of prose are
    // read apart only where the page is large: its bands alone leave half the threads idle
    // (each language reads every band), and thinner bands read worse than narrower ones.
    void cutForSizes()
    {
        qint64 pixels = 0;
        for (const Band& part : parts_)
            pixels += qint64(part.image.width()) * part.image.height();
        const bool large = pixels >= 2'000'000;
        std::vector<std::vector<Band>> cuts(parts_.size());
        std::vector<std::function<void()>> cutting;
        for (size_t i = 0; i < parts_.size(); ++i)
            cutting.push_back([&, i] { cuts[i] = sizePieces(parts_[i], large); });
        if (large)
            ReadingPool::runAll(cutting);
        else
            for (const std::function<void()>& cut : cutting)
                cut();
        std::vector<Band> pieces;
        for (std::vector<Band>& cut : cuts)
            std::move(cut.begin(), cut.end(), std::back_inserter(pieces));
        // Each language reads every piece: a large page of one column, two bands and no other
        // pieces, left half the threads idle. Its tallest pieces are halved again while
        // threads are left, each half keeping four lines and more, which read as well as the
        // whole.
        while (large && !pieces.empty() && pieces.size() * languages_.size() < size_t(ReadingPool::runners())) {
            const auto tallest = std::max_element(pieces.begin(), pieces.end(), [](const Band& a, const Band& b) { return a.image.height() < b.image.height(); });
            std::vector<Band> halves = tallest->scale != 1 ? std::vector<Band>{} : bands(tallest->image, 2, 2 * leastInkRows_);
            if (halves.size() < 2)
                break;
            for (Band& half : halves) {
                half.top += tallest->top;
                half.left = tallest->left;
            }
            pieces.insert(pieces.erase(tallest), halves.begin(), halves.end());
        }
        parts_ = std::move(pieces);
    }

    void readParts()
    {
        const tesseract::PageSegMode mode = scattered_ ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_SINGLE_LINE;
        read_.assign(parts_.size(), std::vector<std::vector<WordRun>>(languages_.size()));
        std::vector<std::function<void()>> tasks;
        for (size_t i = 0; i < parts_.size(); ++i)
            for (size_t k = 0; k < languages_.size(); ++k)
                tasks.push_back([&, i, k] {
                    const Band& part = parts_[i];
                    LentEngine engine(setup_, reading_, languages_[k]);
                    engine.api().SetPageSegMode(part.sign ? tesseract::PSM_SINGLE_CHAR : mode);
                    std::vector<WordRun>& rows = read_[i][k];
                    rows = readView(engine.api(), part.image, isCancelled_, reading_ == Reading::corrected);
                    for (WordRun& piece : rows) {
                        piece.box = part.inView(piece.box);
                        for (ReadWord& word : piece.words) {
                            word.box = part.inView(word.box);
                            for (ReadSymbol& symbol : word.symbols)
                                symbol.box = part.inView(symbol.box);
                        }
                    }
                });
        ReadingPool::runAll(tasks);
    }

    // The readings of each part merged, the bands in view order. Screen text is read letter
    // by letter again where its
    // glyphs repeat: they are the same pixels at every size, not only in small text.
    std::vector<WordRun> mergedRows()
    {
        // What each glyph alone reads as in the language surest of it; words drawn again in
        // other bands weigh together with these.
        const std::vector<ReadWord> lonely = surestLoneReadings(read_, loneGlyphs_);
        const RecurringReadings recurring = recurringReadings(read_);
        std::vector<WordRun> pieces;
        for (std::vector<std::vector<WordRun>>& part : read_) {
            std::vector<WordRun> rows = part.size() == 1 ? std::move(part.front()) : mergedReadings(std::move(part), recurring);
            std::move(rows.begin(), rows.end(), std::back_inserter(pieces));
        }
        if (reading_ == Reading::corrected) {
            readAlikeGlyphsAlike(pieces, shown_, factor_);
            spaceOnTheCells(pieces, shown_, factor_);
            partWordsAtBlanks(pieces, shown_, factor_);
        }
        if (scattered_)
            pieces = splitAtColumnGaps(std::move(pieces));
        if (reading_ == Reading::corrected && !photoLines_.empty())
            pieces = withoutPhotoTexture(std::move(pieces), photoLines_);
        if (!loneGlyphs_.empty())
            pieces = withoutUnsureLoneGlyphs(std::move(pieces), loneGlyphs_, lonely);
        return pieces;
    }

    const QImage& image_;
    const Reading reading_;
    const bool scattered_;
    const std::function<bool()>& isCancelled_;
    // Every word of the plain reading with a letter or a figure, when the caller asks for them.
    std::vector<Word>* plainWords_;
    const DataSetup setup_;
    // The view read, and as shown before it was enlarged `factor_` times.
    QImage view_, shown_;
    double factor_ = 1;
    bool small_ = false;
    int leastInkRows_ = 40;
    // The lines standing on a photo and the glyphs standing alone, in pixels of the view read.
    std::vector<QRect> photoLines_, loneGlyphs_;
    std::vector<std::string> languages_;
    std::vector<Band> parts_;
    std::vector<std::vector<std::vector<WordRun>>> read_; // rows of each part in each language
};

} // namespace

void checkReadableSize(const QSize& size)
{
    const qint64 pixels = qint64(size.width()) * qint64(size.height());
    if (size.width() > maxSide || size.height() > maxSide || pixels > maxPixels)
        throw TarnwickError::message(QStringLiteral(
            "Изображение слишком большое для распознавания текста. Выделите область поменьше."));
}

std::vector<Line> readLines(const QImage& image, Reading reading, Layout layout, const std::function<bool()>& isCancelled,
    std::vector<Word>* plainWords)
{
    // Nothing readable fits in fewer than three pixels a side.
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    checkReadableSize(image.size());
    if (isCancelled && isCancelled())
        throw CancellationError();
    // A turned picture is read turned level, its boxes turned back round what they hold.
    const std::optional<double> turned = layout == Layout::scattered ? turnedBy(readableGrey(image)) : std::nullopt;
    if (!turned)
        return Reader(image, reading, layout, isCancelled, plainWords).lines();
    QTransform turn;
    const QImage level = levelled(image, *turned, turn);
    const QTransform back = turn.inverted();
    const auto turnedBack = [&](const QRectF& box) {
        const QRect pixels = back.mapRect(pixelBox(box, level.width(), level.height())).toAlignedRect().intersected(image.rect());
        return recognizerBox(pixels, image.width(), image.height());
    };
    std::vector<Word> levelWords;
    std::vector<Line> lines = Reader(level, reading, layout, isCancelled, plainWords ? &levelWords : nullptr).lines();
    for (Line& line : lines) {
        line.bounds = turnedBack(line.bounds);
        for (Word& word : line.words)
            word.bounds = turnedBack(word.bounds);
    }
    for (Word& word : levelWords)
        plainWords->push_back({std::move(word.text), turnedBack(word.bounds)});
    return lines;
}

} // namespace detail

} // namespace tarnwick::ScreenTextRecognizer
