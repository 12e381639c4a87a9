#include "app/ScrollingCaptureControlView.h"
#include "app/ScrollingCaptureController.h"
#include "capture/RecordingAreaSelector.h"
#include "support/X11Client.h"
#include "NoisePage.h"

#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <random>
#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::noisePage;
using tarnwick::test::X11Client;

namespace {

// Another program's window showing a tall page that scrolls 100 rows every 150 ms once started.
class ScrollingPage : public QWidget {
public:
    explicit ScrollingPage(QImage page, QPoint at = {200, 150}, int shown = 600)
        : QWidget(nullptr, Qt::FramelessWindowHint), page_(std::move(page))
    {
        setGeometry(at.x(), at.y(), page_.width(), shown);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (caughtUp_ && !caughtUp_(offset_))
                return;
            offset_ = std::min(offset_ + 100, page_.height() - height());
            update();
        });
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
    }
    // With `caughtUp`, a step waits until the capture holds the rows the page shows at its offset:
    // a loaded machine grabs late, and a page that ran ahead of it would only be passed over.
    void startScrolling(std::function<bool(int offset)> caughtUp = {})
    {
        caughtUp_ = std::move(caughtUp);
        timer_.start(150);
    }
    const QImage& page() const { return page_; }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, page_, 0, offset_, width(), height()); }

private:
    QImage page_;
    int offset_ = 0;
    QTimer timer_;
    std::function<bool(int)> caughtUp_;
};

// The height of the shot so far, from the model's "W × H px".
int rowsTaken(const ScrollingCaptureModel& model) { return model.dimensions().section(u' ', 2, 2).toInt(); }

QImage opaque(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32_Premultiplied); }

TEST(ScrollingCaptureX11, engineStitchesAScrollingWindowExactlyOverSharedMemoryAndGetImage)
{
    for (auto transport : {platform::GrabTransport::Automatic, platform::GrabTransport::PlainGetImage}) {
        ScrollingPage window(noisePage(400, 2000));
        ScrollingCaptureEngine engine(ScrollingCaptureEngine::screenGrab(transport));
        int height = 0;
        engine.onProgress = [&](int, int h, ScrollAppendResult) { height = h; };
        engine.start(QGuiApplication::primaryScreen()->geometry(), window.geometry(), 1.0);
        window.startScrolling([&](int offset) { return height >= offset + window.height(); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return height == 2000; }, 60000)) << height;
        std::optional<ScrollingCaptureEngine::Result> answer;
        engine.finish(false, [&](ScrollingCaptureEngine::Result r) { answer = std::move(r); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }));
        const auto* image = std::get_if<QImage>(&*answer);
        EXPECT_TRUE(image && *image == opaque(window.page())) << int(transport);
    }
}

// Lines of random words in a scroll area; each wheel click moves it `step` pixels.
class TextView : public QScrollArea {
public:
    explicit TextView(int step)
    {
        auto* page = new QWidget;
        page->setFixedSize(400, 1400);
        page->installEventFilter(this);
        setWidget(page);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        verticalScrollBar()->setSingleStep(step);
        setGeometry(200, 150, 400 + verticalScrollBar()->sizeHint().width(), 500);
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
    }
    QRect area() const { return {viewport()->mapToGlobal(QPoint()), viewport()->size()}; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != widget() || event->type() != QEvent::Paint)
            return false;
        QPainter p(widget());
        p.fillRect(widget()->rect(), Qt::white);
        std::mt19937 random(9);
        const char* words[] = {"снимок", "страница", "прокрутка", "строка", "окно", "Tarnwick", "область", "и", "текст"};
        for (int y = 20; y < widget()->height(); y += 20) {
            QString line = QString(int(random() % 8), u' ');
            for (int n = 2 + int(random() % 7); n > 0; --n)
                line += QString::fromUtf8(words[random() % 9]) + (random() % 4 ? u' ' : u',');
            p.drawText(4, y, line);
        }
        return true;
    }
};

struct Session {
    ScrollingCaptureController controller;
    std::vector<ScrollingCaptureController::Outcome> outcomes;

    explicit Session(ScrollingCaptureController::GrabFactory grab = [] { return ScrollingCaptureEngine::screenGrab(); })
        : controller(std::move(grab))
    {
        controller.onComplete = [this](const ScrollingCaptureController::Outcome& o) { outcomes.push_back(o); };
    }
    void capture(const QRect& selection) { controller.capture(QGuiApplication::primaryScreen(), selection); }
    bool ended() { return QTest::qWaitFor([&] { return !outcomes.empty(); }, 10000); }
};

TEST(ScrollingCaptureX11, slowAndFastWheelScrollingGivesEveryRowOfTheViewOnce)
{
    QApplication::setWheelScrollLines(1);
    X11Client x;
    for (int step : {2, 90}) {
        TextView view(step);
        Session session;
        session.controller.begin();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !session.controller.selector()->panels().empty(); }));
        const QRect area = view.area();
        x.drag(area.left(), area.top(), area.right() + 1, area.bottom() + 1);
        ScrollingCaptureModel& model = session.controller.model();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.ready(); }));
        x.movePointer(area.center().x(), area.center().y());
        // The selection's veils go after the area is chosen; a wheel click over them would be lost.
        ASSERT_TRUE(QTest::qWaitFor([&] { return x.topLevelUnderPointer() == view.winId(); }, 30000))
            << step << ": window " << x.topLevelUnderPointer() << " over the view";
        QScrollBar* bar = view.verticalScrollBar();
        for (int flicks = 0; bar->value() < bar->maximum() && flicks < 1000; ++flicks) {
            // Like a user, back up a little when told a part was passed over.
            const bool back = model.message().startsWith("Прокрутите медленнее");
            const int before = bar->value();
            for (int click = step > 10 ? 3 : 1; click > 0; --click)
                x.button(back ? 4 : 5, true), x.button(back ? 4 : 5, false);
            ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() != before; }, 30000))
                << step << ": the wheel did not scroll at " << before << " of " << bar->maximum() << ", back " << back
                << ", window " << x.topLevelUnderPointer() << " under the pointer, the view " << view.winId();
            // The next flick once the outline has followed this one, as a user watches it: a loaded
            // machine grabs late, and flicks that ran ahead of it would only be passed over.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return rowsTaken(model) >= bar->value() + area.height() || model.message().startsWith("Прокрутите медленнее"); }, 30000))
                << step << ": " << model.dimensions().toStdString();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.dimensions() == "400 × 1400 px"; }, 10000)) << step << ": " << model.dimensions().toStdString();
        model.finish();
        ASSERT_TRUE(session.ended());
        const auto* shot = std::get_if<ScrollingCaptureShot>(&session.outcomes.front());
        ASSERT_TRUE(shot);
        const QImage page = opaque(view.widget()->grab().toImage());
        int wrong = 0;
        for (int y = 0; y < std::min(page.height(), shot->image.height()); ++y)
            wrong += std::memcmp(page.constScanLine(y), shot->image.constScanLine(y), std::size_t(page.width()) * 4) != 0;
        EXPECT_EQ(shot->image.height(), page.height()) << step;
        EXPECT_EQ(wrong, 0) << step;
    }
}

TEST(ScrollingCaptureX11, returnFinishesOnceWithTheTallShotAndOwnWindowsStayOutOfTheArea)
{
    // The second page leaves the panel no room on any side: the rows it covers are left out.
    for (const QRect place : {QRect(200, 150, 400, 600), QRect(260, 90, 1400, 900)}) {
        ScrollingPage window(noisePage(place.width(), 1600), place.topLeft(), place.height());
        Session session;
        session.capture(window.geometry());
        session.controller.model().finish(); // nothing collected yet: ignored
        ASSERT_TRUE(session.controller.control() && session.controller.outline());
        const QRect area = session.controller.outline()->geometry().adjusted(2, 2, -2, -2);
        const QRegion outline = session.controller.outline()->mask().translated(session.controller.outline()->pos());
        EXPECT_FALSE(outline.intersects(area));
        EXPECT_TRUE(outline.intersects(area.adjusted(-2, -2, 2, 2)));
        EXPECT_FALSE(session.controller.control()->frameGeometry().intersects(area));
        EXPECT_TRUE(place.contains(area) && area.height() >= place.height() - 30) << place.width();
        const int rows = 1600 - place.height() + area.height();
        // Dragged by its background, the panel goes anywhere but over the area.
        ScrollingCaptureControlView* panel = session.controller.control();
        const QPoint grip(8, panel->height() - 8), start = panel->pos();
        QTest::mousePress(panel, Qt::LeftButton, {}, grip);
        QTest::mouseMove(panel, grip + area.center() - panel->geometry().center());
        EXPECT_EQ(panel->pos(), start);
        QTest::mouseMove(panel, grip - QPoint(start.x(), 0));
        QTest::mouseRelease(panel, Qt::LeftButton, {}, grip);
        EXPECT_EQ(panel->pos(), QPoint(0, start.y()));

        // At each offset the shot holds the rows down to the area's bottom: offset + its height.
        window.startScrolling([&](int offset) { return rowsTaken(session.controller.model()) >= offset + area.height(); });
        const QString size = QStringLiteral("%1 × %2 px").arg(place.width()).arg(rows);
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.controller.model().dimensions() == size; }, 60000))
            << session.controller.model().dimensions().toStdString() << " · " << session.controller.model().message().toStdString();
        EXPECT_EQ(session.controller.model().message(), "Прокручивайте вниз небольшими шагами · Enter — готово · Esc — отмена");
        X11Client x;
        x.chord({x.keycodeOf(XK_Return)}), x.chord({x.keycodeOf(XK_Return)});
        ASSERT_TRUE(session.ended());
        ASSERT_EQ(session.outcomes.size(), 1u);
        const auto* shot = std::get_if<ScrollingCaptureShot>(&session.outcomes.front());
        EXPECT_TRUE(shot && shot->image == opaque(window.page()).copy(0, 0, place.width(), rows)) << place.width();
        EXPECT_EQ(session.controller.control(), nullptr);
    }
}

TEST(ScrollingCaptureX11, aFlatPageThatMovesSaysItCannotBeMatchedInsteadOfStandingStill)
{
    // White with a faint line every 37 rows: too little to match, and little changes as it moves.
    QImage flat(400, 2000, QImage::Format_RGB32);
    for (int y = 0; y < flat.height(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(flat.scanLine(y)), flat.width(), y % 37 ? qRgb(255, 255, 255) : qRgb(230, 230, 230));
    ScrollingPage window(flat);
    Session session;
    session.capture(window.geometry());
    ScrollingCaptureModel& model = session.controller.model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.dimensions() == "400 × 600 px"; }, 10000));
    EXPECT_EQ(model.message(), "Прокручивайте вниз небольшими шагами · Enter — готово · Esc — отмена");
    window.startScrolling();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return model.message() == "Не удалось совместить. Вернитесь немного вверх и прокручивайте медленнее."; }, 10000))
        << model.message().toStdString();
    EXPECT_EQ(model.dimensions(), "400 × 600 px");
    model.cancel();
    ASSERT_TRUE(session.ended());
}

TEST(ScrollingCaptureX11, escapeCancelsTheSelectionOrTheCaptureAndTooSmallAnAreaFails)
{
    ScrollingPage window(noisePage(400, 1000));
    X11Client x;
    for (bool selectFirst : {false, true}) {
        Session cancelled;
        cancelled.controller.begin();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !cancelled.controller.selector()->panels().empty(); }));
        if (selectFirst) {
            x.drag(200, 150, 600, 750);
            ASSERT_TRUE(QTest::qWaitFor([&] { return cancelled.controller.model().ready(); }));
            EXPECT_EQ(cancelled.controller.outline()->geometry(), QRect(198, 148, 404, 604));
        }
        x.chord({x.keycodeOf(XK_Escape)});
        ASSERT_TRUE(cancelled.ended());
        EXPECT_TRUE(std::holds_alternative<std::monostate>(cancelled.outcomes.front()));
    }

    Session small;
    small.capture(QRect(200, 150, 400, 31));
    ASSERT_TRUE(small.ended());
    const auto* error = std::get_if<TarnwickError>(&small.outcomes.front());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(), "Для прокрутки выберите область высотой хотя бы 32 пикселя.");
    EXPECT_EQ(small.controller.control(), nullptr);
}

TEST(ScrollingCaptureX11, lostScreenEndsAnEmptySessionButLeavesACollectedOneToFinish)
{
    const QImage page = noisePage(400, 1000);
    auto failingAfter = [&](int frames) {
        return [&page, frames] {
            return ScrollingCaptureEngine::Grab([&page, frames, n = 0](const QRect& r) mutable {
                if (n == frames)
                    throw TarnwickError::message(QStringLiteral("Соединение с X-сервером потеряно."));
                // Every frame twice, as a page that stands still between scrolls.
                return page.copy(0, 100 * (n++ / 2), r.width(), r.height());
            });
        };
    };
    Session empty(failingAfter(0));
    empty.capture(QRect(200, 150, 400, 600));
    ASSERT_TRUE(empty.ended());
    ASSERT_TRUE(std::holds_alternative<TarnwickError>(empty.outcomes.front()));

    Session collected(failingAfter(6));
    collected.capture(QRect(200, 150, 400, 600));
    ScrollingCaptureModel& model = collected.controller.model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.message().startsWith("Захват прерван"); }));
    EXPECT_EQ(model.message(), "Захват прерван: Соединение с X-сервером потеряно. Можно завершить собранную часть.");
    EXPECT_EQ(model.dimensions(), "400 × 800 px");
    QTest::mouseClick(collected.controller.control()->finishButton(), Qt::LeftButton);
    ASSERT_TRUE(collected.ended());
    const auto* shot = std::get_if<ScrollingCaptureShot>(&collected.outcomes.front());
    EXPECT_TRUE(shot && shot->image == opaque(page.copy(0, 0, 400, 800)));
}

} // namespace
