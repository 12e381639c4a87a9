#pragma once

// The program's shell under openbox on the test's X server, with its look and language (the
// test program's main installs them as main() does), for the audits of its windows and keys.

#include "app/AppShell.h"
#include "editor/window/EditorExportWindow.h"
#include "support/DockedDesk.h"
#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <memory>

namespace tarnwick::audit {

inline QList<QWidget*> shownWindows()
{
    QList<QWidget*> windows = QApplication::topLevelWidgets();
    windows.removeIf([](QWidget* w) { return !w->isVisible() || w->windowType() == Qt::ToolTip; });
    return windows;
}

// A widget as a person would name it: its class and its text or accessible name.
inline std::string nameOf(const QWidget* w)
{
    if (!w)
        return "nothing";
    const auto* label = qobject_cast<const QLabel*>(w);
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    const QString text = label ? label->text() : button ? button->text() + button->toolTip() : QString();
    return w->metaObject()->className() + (text.isEmpty() ? "" : " «" + text.left(40).toStdString() + "»");
}

class AuditedShell : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::startOpenbox(openbox));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache"))); // prepared series, kept after the test
        shell = std::make_unique<AppShell>(settings, board, dir.filePath("private"));
        shell->start({});
    }
    void TearDown() override { shell.reset(), openbox.terminate(), openbox.waitForFinished(); }

    // The editor on a plain shot, once openbox has framed it and it stays put: where the server
    // shows its client, and the frame's extents (left, right, top, bottom) in the server's pixels.
    struct FramedEditor {
        EditorExportWindow* window = nullptr;
        QRect client;
        std::vector<std::uint32_t> extents;
    };
    FramedEditor openFramedEditor(test::X11Client& x, QSize shot, double scale)
    {
        QImage image(shot, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(90, 140, 190));
        shell->openEditor(Screenshot::make(image, scale), "A");
        FramedEditor editor;
        editor.window = shell->editor();
        if (!editor.window)
            return editor;
        const auto id = std::uint32_t(editor.window->winId());
        if (test::waitUntil([&] { return (editor.extents = x.cardinals(id, "_NET_FRAME_EXTENTS")).size() == 4 && editor.extents[2] > 0; }))
            editor.client = test::settledPlace([&] { return x.rootGeometry(id); }, "the editor");
        return editor;
    }

    QProcess openbox;
    QTemporaryDir dir;
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    platform::QtClipboardBackend board;
    std::unique_ptr<AppShell> shell;
};

} // namespace tarnwick::audit
