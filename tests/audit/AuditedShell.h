#pragma once

// The program's shell under openbox on the test's X server, with its look and language (the
// test program's main installs them as main() does), for the audits of its windows and keys.

#include "app/AppShell.h"
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

    QProcess openbox;
    QTemporaryDir dir;
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    platform::QtClipboardBackend board;
    std::unique_ptr<AppShell> shell;
};

} // namespace tarnwick::audit
