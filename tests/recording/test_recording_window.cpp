#include "recording/RecordingControlPanel.h"
#include "recording/RecordingWindow.h"
#include "recording/RecordingUIModel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;

namespace {
// The texts of the window's visible labels and buttons, with enabled buttons marked "+".
QStringList shownTexts(QWidget& window)
{
    QStringList texts;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->isVisibleTo(&window) && !label->text().isEmpty())
            texts << label->text();
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window))
            texts << button->text() + (button->isEnabled() ? "+" : "");
    return texts;
}
} // namespace

TEST(RecordingWindow, ShowsEachPhaseWithItsTextsAndButtons)
{
    RecordingUIModel model(nullptr);
    RecordingWindow window(model);
    RecordingControlPanel strip(model);
    struct Case {
        RecordingPhase phase;
        QStringList shown, hidden;
        QString strip;
    };
    const Case cases[] = {
        {RecordingPhase::setup,
         {"Запись экрана", "Системный звук+", "Локально · 30 кадров/с", "Записать+", "Весь экран+"},
         {"Удалить запись", "Подготовка записи…"},
         "00:59"},
        {RecordingPhase::starting, {"Готовая запись", "Подготовка записи…", "Удалить запись", "Сохранить MP4…"}, {"Записать+"},
         "Подготовка…"},
        {RecordingPhase::review,
         {"Оставьте нужный фрагмент и сохраните MP4", "1280 × 720 · 12,3 МБ", "Итог: 01:05 · без повторного сжатия",
          "Удалить запись+", "Сохранить MP4…+"},
         {"Сохраняю…"},
         "00:59"},
        {RecordingPhase::exporting, {"Сохраняю…", "Удалить запись", "Сохранить MP4…"}, {"Записать"}, "00:59"},
    };
    model.setElapsed(59.9);
    model.setOutputSize({1280.7, 720});
    model.setFileBytes(12'345'678);
    model.setTrim({70, 2, 67.5});
    for (const Case& c : cases) {
        model.setPhase(c.phase);
        const QStringList texts = shownTexts(window);
        for (const QString& text : c.shown)
            EXPECT_TRUE(texts.contains(text)) << text.toStdString() << " in " << texts.join(" | ").toStdString();
        for (const QString& text : c.hidden)
            EXPECT_FALSE(texts.contains(text)) << text.toStdString();
        EXPECT_EQ(strip.statusText(), c.strip);
        EXPECT_EQ(strip.stopButton()->isEnabled(), c.phase == RecordingPhase::recording);
    }
    model.setMessage("Запись прервана: нет сигнала.");
    EXPECT_TRUE(shownTexts(window).contains("Запись прервана: нет сигнала."));
    EXPECT_EQ(RecordingWindow::fileSizeText(999) + "; " + RecordingWindow::fileSizeText(512'400) + "; " +
                  RecordingWindow::fileSizeText(2'500'000'000),
              "999 байт; 512 КБ; 2,50 ГБ");
}
