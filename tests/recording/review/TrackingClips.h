#pragma once

// Generated clips of a moving target, shared by the tracking test table, its benchmark and the
// tests of the review that track.

#include "recording/RecordingEncoder.h"
#include "recording/review/VideoBlurRegion.h"

#include <QFont>
#include <QPainter>
#include <QRandomGenerator>
#include <QTransform>
#include <QtMath>
#include <QString>
#include <QStringList>
#include <array>
#include <cmath>
#include <vector>

namespace tarnwick::test {

enum class TrackingTarget { text, squareOnTexture, squareOnFlat, growingFace, cardOnFlat, plainCardOnFlat, textBlock };

struct TrackingCase {
    TrackingTarget target;
    bool tight;    // the box drawn on the target's edges, else 8 px around it
    double speed;  // pixels a frame to the right, a quarter of that downwards, in whole pixels
    int cell = 4;  // the squares' colour cells, pixels
    int side = 80; // the squares' side, pixels
    // How a square or a card changes while it moves, from nothing in the first frame to this in
    // the last: degrees turned clockwise, and its size as a multiple of the first.
    double turn = 0;
    double grow = 1;
    int frames = 25;
    // Degrees it leans in perspective by the last frame, about its horizontal middle (positive: its
    // top edge comes towards the camera) or, when `sideways`, its vertical one (its right edge).
    double tilt = 0;
    bool sideways = false;
    // How far its bottom edge slides right against its top by the last frame, in its heights.
    double shear = 0;
    // The printed card's size against its 128 × 80, the camera as close in proportion: the same
    // scene in a recording of that much less resolution.
    double scale = 1;
};

inline const char* targetName(TrackingTarget target)
{
    switch (target) {
    case TrackingTarget::text:
        return "text on flat";
    case TrackingTarget::squareOnTexture:
        return "square on texture";
    case TrackingTarget::squareOnFlat:
        return "square on flat";
    case TrackingTarget::growingFace:
        return "growing face on photo";
    case TrackingTarget::cardOnFlat:
        return "printed card on flat";
    case TrackingTarget::plainCardOnFlat:
        return "plain card on flat";
    case TrackingTarget::textBlock:
        return "three lines of text on flat";
    }
    return "";
}

// Three targets × two boxes × four speeds.
inline std::vector<TrackingCase> trackingTable()
{
    std::vector<TrackingCase> table;
    for (const auto target : {TrackingTarget::text, TrackingTarget::squareOnTexture, TrackingTarget::squareOnFlat})
        for (const bool tight : {true, false})
            for (const int speed : {4, 8, 16, 32})
                table.push_back({target, tight, double(speed)});
    return table;
}

// Small squares of `cell` px colour cells on the flat page, at speeds that are no whole number of
// the tracker's grey pixels a frame (one is 8/3 of the clip's), below one pixel a frame and between.
inline std::vector<TrackingCase> fineTextureTable(int cell)
{
    std::vector<TrackingCase> table;
    for (const int side : {24, 48})
        for (const double speed : {0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 6.0, 10.0, 13.0})
            for (const bool tight : {true, false})
                table.push_back({TrackingTarget::squareOnFlat, tight, speed, cell, side});
    return table;
}

// Targets that turn or come closer while they move 5 px a frame: a square of colour cells on the
// grey cells and a printed card on the flat page, each with a tight box and with a margin.
inline std::vector<TrackingCase> changingLookTable()
{
    struct Change {
        double turn, grow;
        int frames;
    };
    std::vector<TrackingCase> table;
    for (const auto target : {TrackingTarget::squareOnTexture, TrackingTarget::cardOnFlat})
        for (const Change change : {Change{10, 1, 30}, Change{20, 1, 60}, Change{45, 1, 30}, Change{45, 1, 60},
                                    Change{0, 1.6, 60}})
            for (const bool tight : {true, false})
                table.push_back({target, tight, 5, 4, 80, change.turn, change.grow, change.frames});
    return table;
}

// Targets that lean back in perspective (0→50° over 2 s), slant or come closer on the flat page:
// a printed card leaning either way, three lines of text, and a card of one plain colour growing
// 1.6×, each with a tight box and with a margin.
inline std::vector<TrackingCase> tiltingTable()
{
    std::vector<TrackingCase> table;
    for (const bool tight : {true, false}) {
        for (const double tilt : {50.0, -50.0})
            table.push_back({TrackingTarget::cardOnFlat, tight, 5, 4, 80, 0, 1, 60, tilt});
        table.push_back({TrackingTarget::textBlock, tight, 5, 4, 80, 0, 1, 60, 50});
        table.push_back({TrackingTarget::plainCardOnFlat, tight, 5, 4, 80, 0, 1.6, 60});
    }
    return table;
}

// Further changes of shape: leaning sideways, slanting, leaning while moving fast, a smaller card
// leaning, on the grey cells, small squares of 24 px leaning, and the plain card leaning and
// turning.
inline std::vector<TrackingCase> shapeSweepTable()
{
    std::vector<TrackingCase> table;
    for (const bool tight : {true, false}) {
        table.push_back({TrackingTarget::cardOnFlat, tight, 5, 4, 80, 0, 1, 60, 50, true});
        table.push_back({TrackingTarget::cardOnFlat, tight, 5, 4, 80, 0, 1, 60, 0, false, 0.3});
        table.push_back({TrackingTarget::cardOnFlat, tight, 12, 4, 80, 0, 1, 60, -50});
        table.push_back({TrackingTarget::cardOnFlat, tight, 4, 4, 80, 0, 1, 60, 50, false, 0, 0.5});
        table.push_back({TrackingTarget::squareOnTexture, tight, 5, 4, 80, 0, 1, 60, 50});
        table.push_back({TrackingTarget::squareOnFlat, tight, 3, 2, 24, 0, 1, 60, 50});
        table.push_back({TrackingTarget::squareOnFlat, tight, 3, 2, 24, 0, 1, 60, -50, true});
        table.push_back({TrackingTarget::plainCardOnFlat, tight, 5, 4, 80, 0, 1, 60, 50});
        table.push_back({TrackingTarget::plainCardOnFlat, tight, 5, 4, 80, 20, 1, 60});
    }
    return table;
}

// A 1280 × 720 clip of 25 frames at 30 a second: an e-mail address in 28 px type on a flat light
// page, or a square of colour cells (80 px of 4 px cells unless asked) on a page of 6 px grey cells
// or on a flat one. Or 60 frames of a face on a photograph, coming closer: 1.6 times as large at
// the end.
class TrackingClip {
public:
    static inline const QSize size{1280, 720};

    explicit TrackingClip(const TrackingCase& c) : TrackingClip(c.target, c.speed, c.cell, c.side)
    {
        turn_ = c.turn;
        grow_ = c.grow;
        scale_ = c.scale;
        if (scale_ != 1 && c.target == TrackingTarget::cardOnFlat) {
            sprite_ = card().scaled((QSizeF(128, 80) * scale_).toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            ink_ = sprite_.rect();
        }
        tilt_ = c.tilt;
        sideways_ = c.sideways;
        shear_ = c.shear;
        if (c.target != TrackingTarget::growingFace)
            frames_ = c.frames;
    }
    TrackingClip(TrackingTarget target, double speed, int cell = 4, int side = 80) : target_(target), speed_(speed)
    {
        QRandomGenerator random(29);
        page_ = QImage(size, QImage::Format_RGB32);
        page_.fill(QColor(244, 244, 242));
        if (target == TrackingTarget::growingFace) {
            frames_ = 60;
            page_ = photo(random);
            ink_ = faceAt(0);
        } else if (target == TrackingTarget::text || target == TrackingTarget::textBlock) {
            const QStringList lines = target == TrackingTarget::text
                                          ? QStringList{QStringLiteral("ivan.petrov@example.com")}
                                          : QStringList{QStringLiteral("Иван Петров"), QStringLiteral("ivan.petrov@example.com"),
                                                        QStringLiteral("+7 912 345-67-89")};
            QFont font("DejaVu Sans");
            font.setPixelSize(target == TrackingTarget::text ? 28 : 22);
            const int step = font.pixelSize() + 6;
            sprite_ = QImage(420, target == TrackingTarget::text ? 44 : 16 + step * int(lines.size()), QImage::Format_RGB32);
            sprite_.fill(page_.pixel(0, 0));
            QPainter painter(&sprite_);
            painter.setFont(font);
            painter.setPen(QColor(40, 44, 52));
            for (int i = 0; i < lines.size(); ++i)
                painter.drawText(QPoint(2, 6 + font.pixelSize() + i * step), lines[i]);
            painter.end();
            ink_ = inkOf(sprite_, page_.pixel(0, 0));
        } else if (target == TrackingTarget::cardOnFlat) {
            sprite_ = card();
            ink_ = sprite_.rect();
        } else if (target == TrackingTarget::plainCardOnFlat) {
            sprite_ = QImage(128, 80, QImage::Format_RGB32);
            sprite_.fill(QColor(64, 112, 176));
            ink_ = sprite_.rect();
        } else {
            sprite_ = QImage(side, side, QImage::Format_RGB32);
            QPainter painter(&sprite_);
            for (int y = 0; y < side; y += cell)
                for (int x = 0; x < side; x += cell)
                    painter.fillRect(x, y, cell, cell,
                                     QColor::fromHsv(random.bounded(360), 170, 60 + random.bounded(180)));
            painter.end();
            ink_ = sprite_.rect();
            if (target == TrackingTarget::squareOnTexture) {
                QPainter page(&page_);
                for (int y = 0; y < size.height(); y += 6)
                    for (int x = 0; x < size.width(); x += 6) {
                        const int grey = 60 + random.bounded(180);
                        page.fillRect(x, y, 6, 6, QColor(grey, grey, grey - 10));
                    }
            }
        }
    }

    int frames() const { return frames_; }

    // The target's pixels in frame k (origin top-left): its bounding rectangle.
    QRect target(int k) const
    {
        if (target_ == TrackingTarget::growingFace)
            return faceAt(k);
        if (changing())
            return placed(k).mapRect(QRectF(ink_)).toAlignedRect();
        return ink_.translated(corner(k));
    }

    // Every pixel of the target in frame k, as 255 in a grey mask of the frame's size.
    QImage targetMask(int k) const
    {
        QImage mask(size, QImage::Format_Grayscale8);
        mask.fill(0);
        QPainter p(&mask);
        if (changing())
            p.setTransform(placed(k));
        p.fillRect(changing() ? QRect(ink_) : target(k), Qt::white);
        return mask;
    }

    QImage frame(int k) const
    {
        QImage image = page_.copy();
        if (k >= hiddenFrom_ && k < hiddenTo_)
            return image;
        if (target_ == TrackingTarget::growingFace) {
            drawFace(image, k);
        } else if (changing()) {
            QPainter p(&image);
            p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
            p.setTransform(placed(k));
            p.drawImage(QPoint(0, 0), sprite_);
        } else {
            QPainter(&image).drawImage(corner(k), sprite_);
        }
        return image;
    }

    // Frames [from, to) show the page alone, as when a window passes over the target.
    void hide(int from, int to)
    {
        hiddenFrom_ = from;
        hiddenTo_ = to;
    }

    // Every odd frame grabbed `seconds` early, as a busy recorder's grabs come.
    void arriveEarly(double seconds) { early_ = seconds; }

    // When frame k shows, in seconds.
    double time(int k) const { return k / 30.0 - (k % 2 ? early_ : 0); }

    // Written by the recorder's own encoder.
    QString write(const QString& path) const
    {
        RecordingOptions options;
        options.codec = RecordingCodec::hevc;
        RecordingEncoder encoder(path, size, options, false);
        for (int k = 0; k < frames_; ++k)
            encoder.pushVideo(frame(k), std::llround(time(k) * 60000), true);
        encoder.close(frames_ * 2000);
        return path;
    }

    // A one-key region: the box drawn on the first frame, tight or with an 8 px margin.
    review::VideoBlurRegion region(bool tight) const
    {
        review::VideoBlurRegion region;
        region.end = frames_ / 30.0;
        region.keys = {{0, normalised(target(0).adjusted(tight ? 0 : -8, tight ? 0 : -8, tight ? 0 : 8, tight ? 0 : 8)),
                        true}};
        region.pending = {{0, region.end}};
        return region;
    }

    static QRectF normalised(const QRect& r)
    {
        return {double(r.x()) / size.width(), 1 - double(r.y() + r.height()) / size.height(),
                double(r.width()) / size.width(), double(r.height()) / size.height()};
    }

private:
    QPoint corner(int k) const
    {
        return {40 + int(std::floor(speed_ * k)), 140 + int(std::floor(speed_ * k / 4))};
    }

    bool changing() const { return turn_ != 0 || grow_ != 1 || tilt_ != 0 || shear_ != 0; }

    // How far the camera is from the target's plane, in its pixels: a card held close to it.
    static constexpr double camera = 400;

    // From the sprite's pixels to the frame's in frame k: turned and grown about its middle,
    // which moves as the corner of a plain target does.
    QTransform placed(int k) const
    {
        const double f = frames_ > 1 ? double(k) / (frames_ - 1) : 0;
        const QPointF middle = QRectF(sprite_.rect()).center();
        QTransform t;
        t.translate(corner(k).x() + middle.x(), corner(k).y() + middle.y());
        t.rotate(turn_ * f);
        // Leaning about an axis in its plane, seen from `camera`: a true perspective projection.
        const double lean = qDegreesToRadians(tilt_ * f), c = std::cos(lean), s = std::sin(lean);
        const double d = camera * scale_;
        t = (sideways_ ? QTransform(c, 0, -s / d, 0, 1, 0, 0, 0, 1) : QTransform(1, 0, 0, 0, c, s / d, 0, 0, 1)) * t;
        t.shear(shear_ * f, 0);
        t.scale(1 + (grow_ - 1) * f, 1 + (grow_ - 1) * f);
        t.translate(-middle.x(), -middle.y());
        return t;
    }

    // A cream identity card with a blue band, a photo and lines of print.
    static QImage card()
    {
        QImage image(128, 80, QImage::Format_RGB32);
        image.fill(QColor(246, 232, 196));
        QPainter p(&image);
        p.fillRect(0, 0, 128, 16, QColor(40, 80, 150));
        p.fillRect(6, 22, 34, 44, QColor(150, 120, 100));
        p.setBrush(QColor(232, 200, 170));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(13, 27, 20, 24));
        QFont font("DejaVu Sans");
        font.setPixelSize(10);
        p.setFont(font);
        p.setPen(QColor(250, 250, 250));
        p.drawText(QPoint(6, 12), QStringLiteral("УДОСТОВЕРЕНИЕ"));
        p.setPen(QColor(30, 30, 40));
        p.drawText(QPoint(46, 32), QStringLiteral("Петров Иван"));
        p.drawText(QPoint(46, 46), QStringLiteral("№ 4821 0937"));
        p.drawText(QPoint(46, 60), QStringLiteral("до 12.2031"));
        p.setPen(QPen(QColor(120, 100, 80), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(0.5, 0.5, 127, 79));
        return image;
    }

    // How much larger the face is in frame k than in the first.
    double growth(int k) const { return 1 + 0.6 * k / (frames_ - 1); }
    QPointF faceCentre(int k) const { return {420 + speed_ * k, 380 - 0.5 * speed_ * k}; }
    static constexpr double faceWidth = 96, faceHeight = 124;

    QRect faceAt(int k) const
    {
        const double w = faceWidth * growth(k), h = faceHeight * growth(k);
        const QPointF c = faceCentre(k);
        return QRectF(c.x() - w / 2, c.y() - h / 2, w, h).toAlignedRect();
    }

    // A head drawn to scale: hair, skin shaded from one side, brows, eyes, nose and mouth.
    void drawFace(QImage& image, int k) const
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(faceCentre(k));
        p.scale(growth(k), growth(k));
        const double w = faceWidth, h = faceHeight;
        QRadialGradient skin(QPointF(-w * 0.15, -h * 0.1), w * 0.75);
        skin.setColorAt(0, QColor(236, 196, 168));
        skin.setColorAt(1, QColor(176, 124, 96));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(58, 40, 30));
        p.drawEllipse(QRectF(-w / 2, -h / 2, w, h * 0.7));
        p.setBrush(skin);
        p.drawEllipse(QRectF(-w * 0.44, -h * 0.38, w * 0.88, h * 0.88));
        for (const double side : {-1.0, 1.0}) {
            p.setBrush(QColor(70, 50, 38));
            p.drawRoundedRect(QRectF(side * w * 0.2 - w * 0.11, -h * 0.14, w * 0.22, h * 0.035), 2, 2);
            p.setBrush(QColor(250, 248, 244));
            p.drawEllipse(QRectF(side * w * 0.2 - w * 0.09, -h * 0.07, w * 0.18, h * 0.075));
            p.setBrush(QColor(60, 90, 70));
            p.drawEllipse(QPointF(side * w * 0.2, -h * 0.033), w * 0.04, w * 0.04);
        }
        p.setBrush(QColor(196, 140, 112));
        p.drawPolygon(QPolygonF({QPointF(0, -h * 0.02), QPointF(-w * 0.07, h * 0.15), QPointF(w * 0.06, h * 0.15)}));
        p.setBrush(QColor(150, 62, 60));
        p.drawChord(QRectF(-w * 0.16, h * 0.2, w * 0.32, h * 0.12), 180 * 16, 180 * 16);
    }

    // Soft blotches of colour with some grain, as a photograph's background is.
    static QImage photo(QRandomGenerator& random)
    {
        QImage coarse(32, 18, QImage::Format_RGB32), grain(320, 180, QImage::Format_RGB32);
        for (int y = 0; y < coarse.height(); ++y)
            for (int x = 0; x < coarse.width(); ++x)
                coarse.setPixel(x, y, QColor::fromHsv(90 + random.bounded(120), 40 + random.bounded(90),
                                                      70 + random.bounded(150)).rgb());
        for (int y = 0; y < grain.height(); ++y)
            for (int x = 0; x < grain.width(); ++x) {
                const int v = 118 + random.bounded(20);
                grain.setPixel(x, y, qRgb(v, v, v));
            }
        QImage page = coarse.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QPainter p(&page);
        p.setCompositionMode(QPainter::CompositionMode_Overlay);
        p.drawImage(QRect(QPoint(0, 0), size), grain.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        return page;
    }

    static QRect inkOf(const QImage& image, QRgb background)
    {
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background)
                    ink |= QRect(x, y, 1, 1);
        return ink;
    }

    TrackingTarget target_;
    double speed_;
    double turn_ = 0;
    double grow_ = 1;
    double scale_ = 1;
    double tilt_ = 0;
    bool sideways_ = false;
    double shear_ = 0;
    int frames_ = 25;
    double early_ = 0;
    int hiddenFrom_ = 0;
    int hiddenTo_ = 0;
    QImage page_;
    QImage sprite_;
    QRect ink_;
};

} // namespace tarnwick::test
