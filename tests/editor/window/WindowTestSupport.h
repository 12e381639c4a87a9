#pragma once

#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "render/ScreenshotRenderer.h"
#include "series/AppModel.h"
#include "series/ClipboardBridge.h"

#include <QPainter>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

namespace tarnwick::test {

// A shot with a grey picture; a QR code of `payload` at (40, 40) when given.
inline Screenshot shotOf(QSize size, const std::wstring& payload = {})
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(200, 200, 200));
    if (!payload.empty()) {
        const auto bits = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setEncoding(ZXing::CharacterSet::UTF8).setMargin(0).encode(payload, 0, 0);
        QPainter p(&image);
        p.fillRect(QRect(24, 24, bits.width() * 4 + 32, bits.height() * 4 + 32), Qt::white);
        for (int y = 0; y < bits.height(); ++y)
            for (int x = 0; x < bits.width(); ++x)
                if (bits.get(x, y))
                    p.fillRect(40 + x * 4, 40 + y * 4, 4, 4, Qt::black);
    }
    return Screenshot::make(image, 1);
}

inline Annotation redRectangle(QPointF from, QPointF to)
{
    Annotation a = freshAnnotation(AnnotationTool::rectangle, from);
    a.end = to;
    a.colorIndex = 1;
    a.strokeWidth = 6;
    return a;
}

// The application's side of an editor: the real model on a clipboard backend,
// and a stand-in for the shell that finishes the editor as the shell does.
template <typename Board>
struct EditorHarness {
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    Board board;
    ClipboardBridge bridge{board, root.path(), &ScreenshotRenderer::render};
    AppModel model{bridge, settings};
    int beeps = 0;
    QStringList alerts;
    QVector<std::pair<bool, bool>> finishes; // save, prepareForPaste
    int chooserCalls = 0;
    std::optional<QString> folderToChoose;
    std::function<void()> importImage; // the shell's file choice for a new layer
    QPointer<EditorExportWindow> window;

    EditorHarness()
    {
        model.beep = [this] { ++beeps; };
        model.alert = [this](const QString& s) { alerts << s; };
    }
    ~EditorHarness() { delete window.data(); }

    // At most one editor at a time, as in the program.
    EditorExportWindow* open(const Screenshot& shot, const QString& label = QStringLiteral("A"))
    {
        delete window.data();
        EditorShellHooks hooks;
        hooks.finishEditor = [this](bool save, bool prepare) {
            finishes.push_back({save, prepare});
            if (save)
                model.save(window->state().editedShot(), window->state().annotations(), prepare);
            if (!save)
                model.setStatus(QStringLiteral("Изменения отменены"));
            window->closeFinished();
            window->deleteLater();
        };
        hooks.importImage = [this] {
            if (importImage)
                importImage();
        };
        hooks.chooseImageSaveDirectory = [this](std::function<void(std::optional<QString>)> done) {
            ++chooserCalls;
            done(folderToChoose);
        };
        window = new EditorExportWindow(std::make_unique<EditorState>(shot, label), model, std::move(hooks));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return window;
    }
    EditorState& state() { return window->state(); }
    // A point of the shot where the canvas shows it, in canvas view points.
    QPoint onCanvas(QPointF pixel)
    {
        const QRectF image = window->canvas()->imageRect();
        return (image.topLeft() + pixel * (image.width() / state().canvasRect().width())).toPoint();
    }
    void dragOnCanvas(QPointF from, QPointF to)
    {
        ImageCanvasView* canvas = window->canvas();
        QTest::mousePress(canvas, Qt::LeftButton, {}, onCanvas(from));
        QTest::mouseMove(canvas, onCanvas((from + to) / 2));
        QTest::mouseMove(canvas, onCanvas(to));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, onCanvas(to));
    }
    // Lets the model's coalesced change notice reach the views.
    static void settle() { QCoreApplication::processEvents(); }
};

} // namespace tarnwick::test
