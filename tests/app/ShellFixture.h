#pragma once

#include "app/AppShell.h"
#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tarnwick::test {

// The real shell on the test's X server, its questions answered by the test
// and logged, the picker replaced by tests/app/fake-picker.sh.
class ShellTest : public ::testing::Test {
protected:
    ShellTest()
    {
        QDir().mkpath(root);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache")))); // recordings a crash left
        qputenv(AppShell::pickerVariable, TARNWICK_FAKE_PICKER);
        qputenv("FAKE_PICK_LOG", QFile::encodeName(pickerLog));
        qputenv("FAKE_PICK", "");
    }
    ~ShellTest() override
    {
        shell.reset();
        for (QProcess* p : desktop) {
            p->kill();
            p->waitForFinished(2000);
            delete p;
        }
    }

    // openbox and a tray host, ready when the tray's selection has an owner.
    void startDesktop()
    {
        desktop << new QProcess;
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop << new QProcess;
        desktop.back()->start(QStringLiteral("trayer"), {});
        ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0; }, std::chrono::seconds(30)));
    }

    void start(QStringList arguments = {})
    {
        AppShell::Hooks hooks;
        hooks.beep = [this] { log << QStringLiteral("beep"); };
        hooks.chooseFolder = [this](const QString&, const QString& prompt, const QString&) {
            log << QStringLiteral("folder: ") + prompt;
            whileAsked();
            return folderAnswer;
        };
        hooks.chooseImage = [this] { return log << QStringLiteral("open"), whileAsked(), imageAnswer; };
        hooks.chooseLayerImages = [this](QWidget*) { return log << QStringLiteral("layers"), layerFiles; };
        hooks.confirmQuit = [this](const QString& text) { return log << text, whileAsked(), quitAnswer; };
        hooks.about = [this](const QString& title, const QString&) { log << title; };
        hooks.reveal = [this](const QString& folder) { log << QStringLiteral("reveal: ") + folder; };
        hooks.readImage = readImage;
        shell = std::make_unique<AppShell>(settings, board, root, hooks);
        shell->model().alert = [this](const QString& text) { log << QStringLiteral("alert: ") + text; };
        shell->start(arguments);
    }

    AppModel& model() { return shell->model(); }
    bool idle() { return !model().busy() && !shell->captureRunning(); }
    QStringList pickerRuns()
    {
        QFile file(pickerLog);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }
    QStringList captureFiles() { return QDir(root).entryList({QStringLiteral("Tarnwick-capture-*")}, QDir::Files); }

    X11Client x;
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("private"));
    QString pickerLog = dir.filePath(QStringLiteral("picker.log"));
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    platform::QtClipboardBackend board;
    std::unique_ptr<AppShell> shell;
    QStringList log;
    std::optional<QString> folderAnswer, imageAnswer;
    QStringList layerFiles; // what the editor's file choice answers
    // How an image file for a new shot is read; the program's own read unless set before start().
    std::function<std::optional<CapturedImage>(const QString&)> readImage;
    // What the user does while a question is open.
    std::function<void()> whileAsked = [] {};
    bool quitAnswer = false;
    QList<QProcess*> desktop;
};

} // namespace tarnwick::test
