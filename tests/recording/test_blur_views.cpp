#include "recording/RecordingBlurControls.h"
#include "recording/RecordingBlurPreview.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"
#include "recording/VideoBlurCanvas.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <clocale>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;

namespace {

void mouse(QWidget& widget, QEvent::Type type, QPointF p)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, p, widget.mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void drag(QWidget& widget, QPointF from, QPointF to)
{
    mouse(widget, QEvent::MouseButtonPress, from);
    mouse(widget, QEvent::MouseMove, to);
    mouse(widget, QEvent::MouseButtonRelease, to);
}

// Visible label and button texts, and the picker's entries.
QStringList shownTexts(QWidget& panel)
{
    QCoreApplication::processEvents();
    QStringList texts;
    for (QLabel* label : panel.findChildren<QLabel*>())
        if (label->isVisibleTo(&panel))
            texts << label->text();
    for (QAbstractButton* button : panel.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&panel))
            texts << button->text();
    for (QComboBox* picker : panel.findChildren<QComboBox*>())
        for (int i = 0; i < picker->count() && picker->isVisibleTo(&panel); ++i)
            texts << picker->itemText(i);
    return texts;
}

} // namespace

TEST(VideoBlurCanvas, DrawsGrabsCornersUnderTwelvePointsAndMovesTheBody)
{
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    model.setPhase(RecordingPhase::review);
    model.setTrim({4, 0, 4});
    model.setOutputSize({400, 300});
    VideoBlurCanvas canvas(review);
    canvas.resize(400, 300);
    const auto shown = [&] { return canvas.viewRect(model.selectedBlur()->rect(0)); };

    review.beginBlurSelection();
    drag(canvas, {100, 100}, {105, 160});
    EXPECT_TRUE(model.blurRegions().empty()) << "5 points wide";
    EXPECT_TRUE(model.addingBlur());
    drag(canvas, {100, 100}, {200, 160});
    ASSERT_EQ(model.blurRegions().size(), 1u);
    EXPECT_EQ(shown(), QRectF(100, 100, 100, 60));

    drag(canvas, {100 + 11.9, 100}, {50, 50}); // the top-left corner: the bottom-right one stays
    EXPECT_EQ(shown(), QRectF(50, 50, 150, 110));
    drag(canvas, {50 + 12, 50}, {72, 60}); // 12 points off the corner: a move
    EXPECT_EQ(shown(), QRectF(60, 60, 150, 110));
    drag(canvas, {100, 100}, {400, 100}); // against the right edge the size stays
    EXPECT_EQ(shown(), QRectF(250, 60, 150, 110));
}

TEST(RecordingBlurControls, NumbersRegionsByPositionAndWritesNumbersWithAPoint)
{
    QLocale::setDefault(QLocale::Russian);
    std::setlocale(LC_NUMERIC, "ru_RU.UTF-8");
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    model.setPhase(RecordingPhase::review);
    model.setTrim({10, 0, 10});
    RecordingBlurControls controls(review);
    EXPECT_EQ(shownTexts(controls), QStringList{"Добавить размытие"});

    review.finishBlurSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    const QUuid first = *model.selectedBlurID();
    review.finishBlurSelection(QRectF(0.5, 0.5, 0.2, 0.2));
    model.setSelectedBlurID(first);
    review.deleteBlur();
    review.changeBlurRadius(20.9);
    review.changeBlurInterval(1.5, true);
    review.changeBlurInterval(3.25, false);
    QCoreApplication::processEvents(); // the seeks land before the playhead moves on
    model.setPlayhead(5);
    model.setTrackingProgress(0.42);
    const QStringList texts = shownTexts(controls);
    for (const char* text : {"Область 1", "20 px", "Размытие выключено на этом кадре · интервал 1.50–3.25 с", "1.50 с",
                             "Правки · запустите отслеживание", "42%", "Отменить анализ"})
        EXPECT_TRUE(texts.contains(text)) << text << " in " << texts.join(" | ").toStdString();
    EXPECT_FALSE(texts.contains("Область 2"));
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
}

TEST(RecordingBlurPreview, ShownTwiceObservesOnceAndStopsWhenHidden)
{
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    RecordingBlurPreview pane(review);
    QShowEvent show;
    QApplication::sendEvent(&pane, &show);
    QApplication::sendEvent(&pane, &show);
    QSignalSpy playing(&model, &RecordingUIModel::isPlayingChanged);
    review.resumeAfterSeek = true; // the observation now reads "playing"
    emit review.player().rateChanged();
    EXPECT_EQ(playing.count(), 1);
    QHideEvent hide;
    QApplication::sendEvent(&pane, &hide);
    playing.clear();
    // A second observation left connected would report playing again.
    review.resumeAfterSeek = true;
    emit review.player().rateChanged();
    EXPECT_EQ(playing.count(), 0);
    EXPECT_FALSE(model.isPlaying());
}
