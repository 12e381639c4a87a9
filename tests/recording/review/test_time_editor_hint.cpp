#include "recording/review/RecordingTimelineTimeEditor.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using tarnwick::RecordingTimelineTimeEditor;

// A mistyped time turns the hint into the longer orange sentence: the popup grows to show it
// whole beside «Готово», and stays on the screen when it was opened at its right edge.
TEST(RecordingTimelineTimeEditor, ShowsTheWholeHintOfAMistypedTime)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const int right : {area.left() + 400, area.right()}) {
        SCOPED_TRACE(right);
        RecordingTimelineTimeEditor editor("Начало фрагмента", "00:01.000", [](double) {});
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
        editor.move(right - editor.width(), area.top() + 40);
        QLabel* hint = editor.hint();
        QPushButton* done = editor.findChild<QPushButton*>();
        ASSERT_TRUE(hint && done);

        for (const QString& typed : {QStringLiteral("1:60"), QStringLiteral("abc")}) {
            editor.field()->setText(typed);
            QTest::keyClick(editor.field(), Qt::Key_Return);
            ASSERT_TRUE(editor.invalid());
            EXPECT_EQ(hint->text(), "Проверьте формат времени");
            ASSERT_TRUE(QTest::qWaitFor([&] { return hint->width() >= hint->sizeHint().width(); }))
                << hint->width() << " px for a hint of " << hint->sizeHint().width();
            const QRect shown(hint->mapTo(&editor, QPoint()), hint->size());
            EXPECT_GE(hint->contentsRect().width(), hint->fontMetrics().horizontalAdvance(hint->text()));
            EXPECT_TRUE(editor.rect().contains(shown));
            EXPECT_FALSE(QRect(done->mapTo(&editor, QPoint()), done->size()).intersects(shown)) << "under «Готово»";
            EXPECT_TRUE(area.contains(editor.frameGeometry()))
                << "at " << editor.frameGeometry().x() << "–" << editor.frameGeometry().right() << " of "
                << area.right();
        }
    }
}
