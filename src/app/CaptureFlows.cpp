// The capture flows of the shell: area and window through the picker program,
// text read from a screen area, the scrolling capture, and image files.
#include "app/AppShell.h"

#include "app/PickerLauncher.h"
#include "app/ScrollingCaptureController.h"
#include "app/SessionFiles.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/PermissionSetupController.h"
#include "panels/PermissionSetupView.h"
#include "platform/TarnwickError.h"
#include "render/Engines.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>

namespace tarnwick {

QString AppShell::pickerProgram() const
{
    const QString overridden = qEnvironmentVariable(pickerVariable);
    return overridden.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/tarnwick-capture") : overridden;
}

PickerLauncher& AppShell::pickers()
{
    // Only our own picker knows how to wait ahead; a program put in its place starts on the key.
    if (!pickers_)
        pickers_ = std::make_unique<PickerLauncher>(pickerProgram(), qEnvironmentVariable(pickerVariable).isEmpty());
    return *pickers_;
}

void AppShell::captureScreenshot(ScreenCaptureMode mode)
{
    if (!admit(ShellCommand::capture))
        return;
    if (model_->transferInProgress() || model_->shots().size() >= AppModel::maximumShots) {
        beep();
        return;
    }
    captureRegion(mode);
}

void AppShell::captureText()
{
    if (!admit(ShellCommand::captureText))
        return;
    // The series limit does not apply: the text goes to the clipboard, not into the series.
    if (model_->transferInProgress() || model_->pastePending()) {
        beep();
        return;
    }
    captureRegion(ScreenCaptureMode::text);
}

void AppShell::captureScrolling()
{
    if (!admit(ShellCommand::captureScrolling))
        return;
    if (model_->transferInProgress() || model_->shots().size() >= AppModel::maximumShots) {
        beep();
        return;
    }
    if (!screenPermission_.request()) {
        model_->setScreenPermissionRequired(true);
        model_->setStatus(QStringLiteral("Для длинного снимка нужен доступ к записи экрана."));
        showPanel();
        return;
    }
    model_->setScreenPermissionRequired(false);
    setSession(ShellSession::scrolling);
    if (panel_)
        panel_->hide();
    if (permissionSetup_ && permissionSetup_->window())
        permissionSetup_->window()->hide();
    if (activeWindows_)
        activeWindows_->activateLast();
    scrolling_ = std::make_unique<ScrollingCaptureController>();
    const QPointer<AppShell> self(this);
    scrolling_->onComplete = [self](const ScrollingCaptureController::Outcome& outcome) {
        if (!self)
            return;
        // The controller is the caller: it goes once its report has returned.
        self->scrolling_.release()->deleteLater();
        AppModel& model = *self->model_;
        if (const auto* shot = std::get_if<ScrollingCaptureShot>(&outcome)) {
            self->openEditor(Screenshot::make(shot->image, std::max(shot->scale, 0.001)), shotLabel(model.shots().size()));
            return;
        }
        self->endSession(ShellSession::scrolling);
        if (const auto* error = std::get_if<TarnwickError>(&outcome)) {
            self->showPanel();
            model.showError(*error);
        } else {
            model.setStatus(QStringLiteral("Захват отменён. Серия сохранена."));
            self->showPanel();
        }
    };
    QTimer::singleShot(captureDelayMs, Qt::PreciseTimer, this,
                       [this, session = QPointer<ScrollingCaptureController>(scrolling_.get())] {
                           if (!session || session != scrolling_.get())
                               return;
                           // The page goes back in front once its area is chosen.
                           session->begin([self = QPointer<AppShell>(this)] {
                               if (self && self->activeWindows_)
                                   self->activeWindows_->activateLast();
                           });
                       });
}

void AppShell::captureRegion(ScreenCaptureMode mode, EditorExportWindow* editor)
{
    if (!screenPermission_.request()) {
        const QString sentence = QStringLiteral(
            "Доступ к экрану ещё не активен: X-сервер не отдаёт изображение экрана (запрос GetImage отклонён). "
            "Запустите Tarnwick в сеансе X11, где программам разрешено читать экран.");
        model_->setScreenPermissionRequired(true);
        model_->setStatus(sentence);
        if (editor)
            editor->state().images().setMessage(sentence);
        else
            showPanel();
        return;
    }
    if (editor) {
        if (!editor->state().images().beginCapture())
            return;
        editor->hide();
    }
    model_->setScreenPermissionRequired(false);
    if (permissionSetup_ && permissionSetup_->window())
        permissionSetup_->window()->close();
    // A layer capture stays inside the editor's session.
    if (!editor)
        setSession(ShellSession::picker);
    switch (mode) {
    case ScreenCaptureMode::area: model_->setStatus(QStringLiteral("Выделите область снимка")); break;
    case ScreenCaptureMode::window: model_->setStatus(QStringLiteral("Выберите окно щелчком. Esc — отмена")); break;
    case ScreenCaptureMode::text: model_->setStatus(QStringLiteral("Выделите область с текстом. Esc — отмена")); break;
    }
    if (panel_)
        panel_->hide();
    // The capture happens over the user's own application.
    if (activeWindows_)
        activeWindows_->activateLast();
    const QString file = newCaptureFile(temporaryRoot_);
    // A coarse timer may fire up to 5 % late; the delay is part of every capture.
    QTimer::singleShot(captureDelayMs, Qt::PreciseTimer, this,
                       [this, mode, file, session = QPointer<EditorExportWindow>(editor)] { launchPicker(mode, file, session); });
}

void AppShell::launchPicker(ScreenCaptureMode mode, const QString& file, QPointer<EditorExportWindow> editor)
{
    pickers().start(captureArguments(mode, file), [this, mode, file, editor](QProcess* process) {
        captureProcess_ = process;
        connect(process, &QProcess::finished, this,
                [this, process, mode, file, editor](int code, QProcess::ExitStatus status) {
                    process->deleteLater();
                    pickerFinished(mode, file, status == QProcess::NormalExit && code == 0, editor);
                });
        connect(process, &QProcess::errorOccurred, this, [this, process, editor](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            process->deleteLater();
            captureProcess_ = nullptr;
            captureFailed(QStringLiteral("Не удалось запустить программу снимка экрана (%1).").arg(process->program()), editor);
        });
    });
}

void AppShell::captureFailed(const QString& sentence, const QPointer<EditorExportWindow>& editor)
{
    if (editor) {
        restoreLayerEditor(editor, std::nullopt);
        editor->state().images().setMessage(sentence);
        return;
    }
    endSession(ShellSession::picker);
    showPanel();
    model_->showError(sentence);
}

void AppShell::pickerFinished(ScreenCaptureMode mode, const QString& file, bool succeeded,
                              QPointer<EditorExportWindow> editor)
{
    captureProcess_ = nullptr;
    const std::optional<CapturedImage> captured = succeeded ? CapturedImage::read(file) : std::nullopt;
    QFile::remove(file);
    if (!captured) {
        if (editor) {
            restoreLayerEditor(editor, std::nullopt);
            return;
        }
        endSession(ShellSession::picker);
        model_->setStatus(mode == ScreenCaptureMode::text ? QStringLiteral("Отменено. Буфер сохранён")
                                                          : QStringLiteral("Захват отменён. Серия сохранена."));
        showPanel();
        return;
    }
    QImage image;
    try {
        image = prepareCapturedImage(mode, captured->image);
    } catch (const TarnwickError& error) {
        captureFailed(error.errorDescription(), editor);
        return;
    }
    if (editor)
        restoreLayerEditor(editor, image);
    else if (mode == ScreenCaptureMode::text)
        recognizeText(image);
    else
        openEditor(Screenshot::make(image, captured->pixelsPerPoint), shotLabel(model_->shots().size()),
                   QRect(captured->image.offset(), captured->image.size()));
}

void AppShell::recognizeText(const QImage& image)
{
    setSession(ShellSession::textReading);
    model_->setStatus(QStringLiteral("Распознаю текст…"));
    showPanel();
    struct Reading {
        std::optional<QString> text;
        QString error;
    };
    textReadings_.runOn(
        textRecognitionQueue_,
        [image] {
            Reading reading;
            try {
                reading.text = recognitionEngine().recognizeText(image);
            } catch (const TarnwickError& e) {
                reading.error = e.errorDescription();
            } catch (const std::exception& e) {
                reading.error = QString::fromUtf8(e.what());
            }
            return reading;
        },
        [this](const Reading& reading) {
            const std::optional<QString>& text = reading.text;
            const QString& error = reading.error;
            if (!error.isEmpty()) {
                model_->showError(QStringLiteral("Не удалось распознать текст: ") + error);
            } else {
                bool copied = false;
                try {
                    copied = text && model_->copyRecognizedText(*text, false);
                } catch (const std::exception& e) {
                    model_->showError(e);
                    copied = true;
                }
                if (!copied)
                    model_->setStatus(QStringLiteral("Текст не найден. Буфер сохранён"));
            }
            endSession(ShellSession::textReading);
        });
}

void AppShell::openImage()
{
    if (!admit(ShellCommand::openImage) || model_->shots().size() >= AppModel::maximumShots)
        return;
    if (const std::optional<QString> file = asking([this] { return hooks_.chooseImage(); }))
        importImage(*file);
}

void AppShell::importImage(const QString& path)
{
    fileReads_.run([read = hooks_.readImage, path] { return read(path); },
                   [this](const std::optional<CapturedImage>& captured) { return openRead(captured); });
}

bool AppShell::openRead(const std::optional<CapturedImage>& captured)
{
    const ShellSession now = session();
    if (!captured) {
        // An alert over a capture's veil or beside a question would not be drawn.
        if (now != ShellSession::none && now != ShellSession::editor)
            return false;
        model_->showError(QStringLiteral("Не удалось открыть изображение."));
        return true;
    }
    // The image's editor opens after the one a capture opened meanwhile, under the next letter.
    if (now != ShellSession::none)
        return false;
    openEditor(Screenshot::make(captured->image, captured->pixelsPerPoint), shotLabel(model_->shots().size()));
    return true;
}

} // namespace tarnwick
