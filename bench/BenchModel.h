#pragma once

#include "platform/QtClipboardBackend.h"
#include "render/ScreenshotRenderer.h"
#include "series/AppModel.h"
#include "series/ClipboardBridge.h"

#include <QSettings>
#include <QTemporaryDir>

namespace tarnwick::bench {

// The application model on private preferences and folders, for the window benchmarks.
struct BenchModel {
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    platform::QtClipboardBackend board;
    ClipboardBridge bridge{board, root.path(), &ScreenshotRenderer::render};
    AppModel model{bridge, settings};
};

} // namespace tarnwick::bench
