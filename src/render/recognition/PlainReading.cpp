#include "render/recognition/PlainReading.h"

#include "platform/TarnwickError.h"

#include <QPainter>

#include <tesseract/baseapi.h>

#include <cmath>
#include <cstring>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// The engine gives words it reads on real glyphs 85 and more; the edges of frames, specks
// and a photo's texture it reads under 75 (a photo's "AS" at 72).
constexpr float sureWord = 80;

// Two letters or figures at least: the engine reads a tick, a bubble's tail or a bullet
// as a letter alone, surely.
bool lettered(const QString& text)
{
    return std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); }) >= 2;
}

QRect scaled(const QRect& box, double factor)
{
    if (factor == 1)
        return box;
    const int x0 = int(std::lround(box.x() * factor)), y0 = int(std::lround(box.y() * factor));
    const int x1 = int(std::lround((box.x() + box.width()) * factor));
    const int y1 = int(std::lround((box.y() + box.height()) * factor));
    return QRect(x0, y0, std::max(1, x1 - x0), std::max(1, y1 - y0));
}

// Whether the words standing on one line with `box` cover half its width at least.
bool covered(const QRect& box, const std::vector<QRect>& words)
{
    std::vector<std::pair<int, int>> spans;
    for (const QRect& word : words)
        if (onOneLine(word, box) && overlap(word, box) > 0)
            spans.emplace_back(std::max(word.left(), box.left()), std::min(word.right(), box.right()) + 1);
    std::sort(spans.begin(), spans.end());
    int held = 0, reached = box.left();
    for (const auto& [from, to] : spans) {
        held += std::max(0, to - std::max(from, reached));
        reached = std::max(reached, to);
    }
    return 2 * held >= box.width();
}

// The picture opaque on white, in colour as the command reads it: the engine thresholds each
// channel, and red on black stands out in its own channel far more than in grey. The places
// read already take the colour beside them along their rows.
QImage opaqueView(const QImage& image, const std::vector<QRect>& readAlready)
{
    QImage opaque(image.size(), QImage::Format_RGB888);
    if (opaque.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    if (readAlready.empty())
        return opaque;
    const int w = opaque.width(), h = opaque.height();
    std::vector<uint8_t> masked(size_t(w) * size_t(h), 0);
    for (const QRect& place : readAlready) {
        const QRect box = place.intersected(opaque.rect());
        for (int y = box.top(); y <= box.bottom(); ++y)
            std::fill_n(masked.begin() + qsizetype(y) * w + box.left(), box.width(), uint8_t(1));
    }
    for (int y = 0; y < h; ++y) {
        uchar* row = opaque.scanLine(y);
        const uint8_t* flags = masked.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w;) {
            if (!flags[x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < w && flags[end])
                ++end;
            const int from = x > 0 ? x - 1 : end < w ? end : -1;
            for (int k = x; k < end && from >= 0; ++k)
                std::memcpy(row + 3 * k, row + 3 * from, 3);
            x = end;
        }
    }
    return opaque;
}

} // namespace

PlainViews plainReading(const QImage& image, Reading reading, const std::function<bool()>& isCancelled,
    const std::vector<QRect>& readAlready)
{
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    detail::checkReadableSize(image.size());
    const DataSetup setup = currentSetup();
    std::vector<std::string> languages{setup.languages};
    if (reading == Reading::corrected)
        languages = singleLanguages(setup);
    std::array<QImage, 2> views{opaqueView(image, readAlready)};
    views[1] = views[0].copy();
    views[1].invertPixels();
    // Rows of each view in each language, all read at once.
    std::array<std::vector<std::vector<WordRun>>, 2> read;
    std::vector<std::function<void()>> tasks;
    for (size_t v = 0; v < views.size(); ++v) {
        read[v].resize(languages.size());
        for (size_t k = 0; k < languages.size(); ++k)
            tasks.push_back([&, v, k] {
                LentEngine engine(setup, reading, languages[k]);
                engine.api().SetPageSegMode(tesseract::PSM_AUTO);
                read[v][k] = readView(engine.api(), views[v], isCancelled, false);
            });
    }
    ReadingPool::runAll(tasks);
    PlainViews plain;
    for (size_t v = 0; v < plain.size(); ++v) {
        plain[v].light = v == 1;
        plain[v].rows = read[v].size() == 1 ? std::move(read[v].front()) : detail::mergedReadings(std::move(read[v]));
    }
    return plain;
}

std::vector<WordRun> withPlainWords(std::vector<WordRun> pieces, const PlainViews& plain, double factor)
{
    std::vector<QRect> held;
    for (const WordRun& piece : pieces)
        for (const ReadWord& word : piece.words)
            held.push_back(word.box);
    // Each view's words count as held for the next: a grey word both views read stays once.
    for (const PlainView& view : plain) {
        std::vector<ReadWord> kept;
        for (const WordRun& row : view.rows)
            for (ReadWord word : row.words) {
                word.box = scaled(word.box, factor);
                if (word.confidence >= sureWord && lettered(word.text) && !covered(word.box, held)) {
                    word.symbols.clear();
                    kept.push_back(std::move(word));
                }
            }
        for (ReadWord& word : kept) {
            held.push_back(word.box);
            const int middle = word.box.center().x();
            const auto into = std::find_if(pieces.begin(), pieces.end(), [&](const WordRun& piece) {
                return onOneLine(piece.box, word.box) && piece.box.left() < middle && middle < piece.box.right();
            });
            if (into == pieces.end()) {
                WordRun piece;
                piece.box = word.box;
                piece.words.push_back(std::move(word));
                piece.respell();
                pieces.push_back(std::move(piece));
                continue;
            }
            const auto at = std::find_if(into->words.begin(), into->words.end(), [&](const ReadWord& w) { return w.box.center().x() > middle; });
            into->box = into->box.united(word.box);
            into->words.insert(at, std::move(word));
            into->respell();
        }
    }
    return pieces;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
