// A picture turned a degree or two (a page scanned askew, a photo of a screen): takes the
// picture, gives the angle its lines of text run at and the picture turned level. The text
// layer finds a line along one baseline; over a long line a turn of one degree moves that
// baseline by more than a glyph's height.

#include "render/recognition/ReadingStages.h"

#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <QHash>
#include <QPainter>

#include <cmath>

namespace tarnwick::ScreenTextRecognizer::stages {

namespace {

// How sharply the ink falls into rows when read along lines at `degrees`: the sum of the
// squared ink counts of each row. Lines of text read along their slope give tall, narrow
// peaks; read across it, each spreads over the rows it climbs.
double rowSharpness(const std::vector<QPoint>& ink, double degrees, int height)
{
    const double a = degrees * M_PI / 180, s = std::sin(a), c = std::cos(a);
    const int reach = int(std::ceil(std::abs(s) * 20000)) + height + 2;
    std::vector<int> rows(size_t(2 * reach), 0);
    for (const QPoint& p : ink)
        ++rows[size_t(std::clamp(int(std::lround(p.y() * c - p.x() * s)) + reach, 0, 2 * reach - 1))];
    double sum = 0;
    for (int n : rows)
        sum += double(n) * n;
    return sum;
}

QRgb commonColour(const QImage& image)
{
    QHash<QRgb, int> counts;
    const int step = std::max(1, int(std::sqrt(double(image.width()) * image.height() / 40000)));
    for (int y = 0; y < image.height(); y += step)
        for (int x = 0; x < image.width(); x += step)
            ++counts[image.pixel(x, y) | 0xff000000];
    QRgb best = qRgb(255, 255, 255);
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most || (it.value() == most && it.key() < best))
            best = it.key(), most = it.value();
    return best;
}

} // namespace

std::optional<double> turnedBy(const QImage& grey)
{
    // Ink: what stands well off the picture's ground. Long enough lines only tell an angle:
    // a label or a button is level however it is read.
    const int ground = mostCommonGrey(grey);
    std::vector<QPoint> ink;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            if (std::abs(int(row[x]) - ground) > 80)
                ink.emplace_back(x, y);
    }
    if (grey.width() < 200 || ink.size() < 500)
        return std::nullopt;
    double best = 0, sharpest = rowSharpness(ink, 0, grey.height());
    const double level = sharpest;
    for (double degrees = -3; degrees <= 3.001; degrees += 0.25)
        if (const double sharpness = rowSharpness(ink, degrees, grey.height()); sharpness > sharpest)
            best = degrees, sharpest = sharpness;
    for (double degrees = best - 0.2; degrees <= best + 0.201; degrees += 0.1)
        if (const double sharpness = rowSharpness(ink, degrees, grey.height()); sharpness > sharpest)
            best = degrees, sharpest = sharpness;
    // Screens are level: only a clear turn, its rows far sharper than level ones, is one.
    if (std::abs(best) < 0.45 || sharpest < 1.3 * level)
        return std::nullopt;
    return best;
}

QImage levelled(const QImage& image, double degrees, QTransform& turn)
{
    const QRectF around = QTransform().rotate(-degrees).mapRect(QRectF(image.rect()));
    QImage out(around.size().toSize() + QSize(2, 2), QImage::Format_RGB32);
    if (out.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    out.fill(commonColour(image));
    turn = QTransform().translate(out.width() / 2.0, out.height() / 2.0).rotate(-degrees).translate(-image.width() / 2.0, -image.height() / 2.0);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(turn);
    painter.drawImage(0, 0, image);
    return out;
}

} // namespace tarnwick::ScreenTextRecognizer::stages
