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

// The confidence a sign read alone needs: the engine gives a drawn sign 70 and more,
// the edge of a frame or a speck under 20.
constexpr float leastSignConfidence = 50;

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

    const DataSetup setup = currentSetup();
    // A scattered picture is read from its text lines alone, each dark on white; a
    // picture without lines of glyphs (one letter, text larger than glyphs are taken
    // to be) is read from its views of each polarity.
    PolarityViews views;
    // The lines standing on a photo, in pixels of the view as shown.
    std::vector<QRect> photoLines, loneGlyphs;
    const QImage grey = readableGrey(image);
    if (layout == Layout::scattered) {
        TextLayer layer = textLayer(grey);
        if (!layer.lines.empty())
            views.main = std::move(layer.view);
        for (const TextLine& line : layer.lines) {
            if (line.onPhoto)
                photoLines.push_back(line.box);
            if (line.lone)
                loneGlyphs.push_back(line.box.adjusted(-1, -1, 1, 1));
        }
    }
    if (views.main.isNull())
        views = polarityViews(grey, layout == Layout::scattered);
    // Ink rows a band holds at least. Two lines of ordinary screen text; thinner bands
    // read worse. Text under 14 px, enlarged two and a half times and more, reads far
    // better as a block, which takes its line and word spacing from all its lines.
    // With all languages in one engine such a view is cut only where each band keeps
    // about four lines; read once per language, on as many threads, it is cut where
    // each band keeps two, so that the passes of all languages run at once.
    int leastInkRows = 40;
    bool small = false;
    // The views as shown, before they are enlarged.
    const PolarityViews shown = views;
    double factor = 1;
    if (layout == Layout::scattered) {
        // Boxes come back in the unit square of the enlarged view, the same as the image's.
        const int height = textHeight(views.main);
        factor = enlargement(height, views.main.size());
        small = smallText(height);
        views.main = enlarged(views.main, factor);
        if (views.other)
            views.other = enlarged(*views.other, factor);
    }
    // Screen text is read letter by letter again where its glyphs repeat: they are the
    // same pixels at every size, not only in small text.
    const bool compareGlyphs = reading == Reading::corrected;
    // Each language reads on its own and the readings are merged row by row: the
    // combined engine's choice word by word on confidence puts the other language's
    // look-alikes into a row at every size ("т" for "in", "РОЕ" for "PDF"). Boxes
    // alone need no language and keep the combined engine.
    std::vector<std::string> languages{setup.languages};
    if (reading == Reading::corrected)
        languages = singleLanguages(setup);
    if (small)
        leastInkRows = languages.size() > 1 ? 60 : 120;
    // Independent parts (bands of lines, the areas of the other polarity) are read at
    // once, each on a thread with a warm engine, and merged in view order.
    const int threads = ReadingPool::helpers() + 1;
    std::vector<Band> parts;
    if (layout == Layout::scattered)
        parts = bands(views.main, std::max(1, threads / int(languages.size()) - (views.other ? 1 : 0)), leastInkRows);
    else
        parts.push_back({views.main, 0});
    if (views.other)
        parts.push_back({*views.other, 0});
    // The number of the first part of the other polarity's areas, once cut.
    size_t otherFrom = parts.size() - (views.other ? 1 : 0);
    if (layout == Layout::scattered) {
        // The parts of a large view are cut each on a thread of its own: on a full page
        // the scans for sizes of text take a tenth of a second, before any reading can
        // start. A small view's take less than waking a thread on a busy machine.
        qint64 pixels = 0;
        for (const Band& part : parts)
            pixels += qint64(part.image.width()) * part.image.height();
        const bool large = pixels >= 2'000'000;
        // A page's columns of prose are read apart only where the page is large: its
        // bands alone leave half the threads idle (each language reads every band), and
        // thinner bands read worse than narrower ones.
        std::vector<std::vector<Band>> cuts(parts.size());
        std::vector<std::function<void()>> cutting;
        for (size_t i = 0; i < parts.size(); ++i)
            cutting.push_back([&, i] { cuts[i] = sizePieces(parts[i], large); });
        if (large) {
            ReadingPool::runAll(cutting);
        } else {
            for (const std::function<void()>& cut : cutting)
                cut();
        }
        std::vector<Band> pieces;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (i == parts.size() - 1 && views.other)
                otherFrom = pieces.size();
            std::move(cuts[i].begin(), cuts[i].end(), std::back_inserter(pieces));
        }
        // The bands are cut for the band readers, and each language reads every piece: a
        // large page of one column, two bands and no other pieces, left half the threads
        // idle. Its tallest pieces are halved again while threads are left, each half
        // keeping four lines and more, which read as well as the whole.
        if (large && !views.other) {
            while (!pieces.empty() && pieces.size() * languages.size() < size_t(ReadingPool::runners())) {
                const auto tallest = std::max_element(pieces.begin(), pieces.end(),
                    [](const Band& a, const Band& b) { return a.image.height() < b.image.height(); });
                if (tallest->scale != 1)
                    break;
                std::vector<Band> halves = bands(tallest->image, 2, 2 * leastInkRows);
                if (halves.size() < 2)
                    break;
                for (Band& half : halves) {
                    half.top += tallest->top;
                    half.left = tallest->left;
                }
                pieces.insert(pieces.erase(tallest), halves.begin(), halves.end());
            }
        }
        // Without the other polarity every piece is the main view's, however many a band
        // was cut into: a piece counted as the other view's lost the glyph comparison.
        if (!views.other)
            otherFrom = pieces.size();
        parts = std::move(pieces);
    }
    const tesseract::PageSegMode mode = layout == Layout::scattered ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_SINGLE_LINE;
    // Glyphs alone, in pixels of the view read.
    for (QRect& glyph : loneGlyphs)
        glyph = QTransform::fromScale(factor, factor).mapRect(QRectF(glyph)).toAlignedRect();
    // Rows of each part in each language.
    std::vector<std::vector<std::vector<WordRun>>> read(parts.size(), std::vector<std::vector<WordRun>>(languages.size()));
    std::vector<std::function<void()>> tasks;
    for (size_t i = 0; i < parts.size(); ++i)
        for (size_t k = 0; k < languages.size(); ++k)
            tasks.push_back([&, i, k] {
                LentEngine engine(setup, reading, languages[k]);
                tesseract::TessBaseAPI& api = engine.api();
                api.SetPageSegMode(parts[i].sign ? tesseract::PSM_SINGLE_CHAR : mode);
                std::vector<WordRun>& rows = read[i][k];
                rows = readView(api, parts[i].image, isCancelled, reading == Reading::corrected);
                // Read as one character, a frame's edge or a speck becomes a comma or a
                // dash the engine does not believe in.
                if (parts[i].sign)
                    std::erase_if(rows, [](const WordRun& row) {
                        return row.words.size() != 1 || row.words.front().confidence < leastSignConfidence;
                    });
                for (WordRun& piece : rows) {
                    piece.box = parts[i].inView(piece.box);
                    for (ReadWord& word : piece.words) {
                        word.box = parts[i].inView(word.box);
                        for (ReadSymbol& symbol : word.symbols)
                            symbol.box = parts[i].inView(symbol.box);
                    }
                }

            });
    ReadingPool::runAll(tasks);
    // The rows of the main view's bands, then those of the other polarity's areas.
    const size_t mainParts = otherFrom;
    std::array<std::vector<WordRun>, 2> rowsOfView;
    for (size_t i = 0; i < read.size(); ++i)
        if (read[i].size() > 1 && layout == Layout::scattered && !small)
            for (std::vector<WordRun>& reading : read[i])
                reading = splitProseColumns(std::move(reading));
    // What each glyph alone reads as in the language surest of it.
    const std::vector<ReadWord> lonelyReadings = surestLoneReadings(read, loneGlyphs);
    // Words drawn again in other bands weigh together with these.
    const RecurringReadings recurring = recurringReadings(read);
    for (size_t i = 0; i < read.size(); ++i) {
        std::vector<WordRun> rows = read[i].size() == 1 ? std::move(read[i].front()) : mergedReadings(std::move(read[i]), recurring);
        if (reading == Reading::corrected)
            readSmallCapitalsAsCyrillic(rows);
        std::move(rows.begin(), rows.end(), std::back_inserter(rowsOfView[i < mainParts ? 0 : 1]));
    }
    std::vector<WordRun> pieces;
    for (size_t v = 0; v < rowsOfView.size(); ++v) {
        std::vector<WordRun>& rows = rowsOfView[v];
        if (compareGlyphs) {
            const QImage view = v == 0 ? shown.main : shown.other.value_or(QImage());
            readAlikeGlyphsAlike(rows, view, factor);
            spaceOnTheCells(rows, view, factor);
            partWordsAtBlanks(rows, view, factor);
        }
        if (layout == Layout::scattered)
            rows = splitAtColumnGaps(std::move(rows));
        std::move(rows.begin(), rows.end(), std::back_inserter(pieces));
    }

    if (reading == Reading::corrected && !photoLines.empty()) {
        const QTransform enlarging = QTransform::fromScale(factor, factor);
        for (QRect& line : photoLines)
            line = enlarging.mapRect(QRectF(line)).toAlignedRect();
        pieces = withoutPhotoTexture(std::move(pieces), photoLines);
    }
    if (!loneGlyphs.empty())
        pieces = withoutUnsureLoneGlyphs(std::move(pieces), loneGlyphs, lonelyReadings);
    // The picture read plainly, as the engine alone reads it, but for the words read surely
    // already: what our views left out, the engine may still read.
    if (layout == Layout::scattered) {
        std::vector<QRect> readAlready;
        const QTransform shrinking = QTransform::fromScale(1 / factor, 1 / factor);
        for (const WordRun& piece : pieces)
            for (const ReadWord& word : piece.words)
                if (word.confidence >= heldConfidence)
                    readAlready.push_back(shrinking.mapRect(QRectF(word.box)).toAlignedRect().adjusted(-2, -2, 2, 2));
        const PlainViews plain = plainReading(image, reading, isCancelled, readAlready);
        for (const PlainView& view : plain)
            for (const WordRun& row : view.rows)
                for (const ReadWord& word : row.words)
                    if (plainWords && std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
                        plainWords->push_back({word.text, recognizerBox(word.box, image.width(), image.height())});
        pieces = withPlainWords(std::move(pieces), plain, factor);
    }

    const int w = views.main.width();
    const int h = views.main.height();
    std::vector<Line> lines;
    std::vector<WordRun> joined = joinedLines(std::move(pieces));
    if (layout == Layout::scattered)
        joined = tableRows(withoutSpecks(std::move(joined)));
    for (WordRun& piece : joined) {
        Line line;
        line.text = std::move(piece.text);
        line.bounds = recognizerBox(piece.box, w, h);
        for (ReadWord& word : piece.words)
            line.words.push_back({std::move(word.text), recognizerBox(word.box, w, h)});
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace detail

} // namespace tarnwick::ScreenTextRecognizer
