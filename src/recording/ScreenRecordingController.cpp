#include "recording/ScreenRecordingController.h"

#include "capture/SelectionOverlays.h"
#include "platform/PrivateFiles.h"
#include "platform/UsableArea.h"
#include "platform/WindowPlacement.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingSessionWork.h"
#include "recording/RecordingRecovery.h"
#include "recording/RecordingWindow.h"
#include "series/Palette.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QScreen>
#include <QThreadPool>
#include <algorithm>
#include <cerrno>
#include <cmath>

namespace tarnwick::recording {

namespace {

const QString noScreenAccess = QStringLiteral(
    "Нет доступа к экрану. X-сервер не отдаёт изображение экрана (запрос GetImage отклонён): запустите Tarnwick в "
    "сеансе X11, где программам разрешено читать экран. Перед перезапуском сохраните работу.");
const QString noMicrophone = QStringLiteral(
    "Нет доступа к микрофону. PulseAudio не открывает источник звука: проверьте, что звуковой сервер запущен и "
    "микрофон не отключён в его настройках, или отключите запись микрофона.");
// Why the lock of a new working folder could not be taken.
TarnwickError lockRefused(const QLockFile& lock, const QString& folder)
{
    QString reason;
    switch (lock.error()) {
    case QLockFile::PermissionError:
        reason = platform::fileErrorReason(EACCES);
        break;
    case QLockFile::LockFailedError:
        reason = QStringLiteral("её рабочая папка занята");
        break;
    default: // QLockFile tells no more than that it could not write its few bytes
        reason = platform::fileErrorReason(platform::writeProblem(folder));
    }
    return TarnwickError(QStringLiteral("Не удалось начать запись: %1.").arg(reason));
}

} // namespace

ScreenRecordingController::ScreenRecordingController(QSettings* preferences, std::function<bool()> permission,
                                                     RecordingServices services, QObject* parent)
    : RecorderSession(parent), preferences_(preferences), permission_(std::move(permission)), services_(std::move(services)),
      model_(new RecordingUIModel(preferences, this)), review_(*model_), timer_(new QTimer(this))
{
    QPointer<ScreenRecordingController> self(this);
    model_->startAction = [self] { if (self) self->begin(); };
    model_->stopAction = [self] { if (self) self->stop(); };
    model_->saveAction = [self] { if (self) self->save(); };
    model_->discardAction = [self] { if (self) self->requestClose(); };
    review_.setBlurServices(services_.trackBlur, services_.blurFrame);
    // The recorded area is free for our windows again once the capture is over.
    connect(model_, &RecordingUIModel::phaseChanged, this, [this] {
        const RecordingPhase phase = model_->phase();
        if (phase != RecordingPhase::starting && phase != RecordingPhase::recording && phase != RecordingPhase::stopping)
            platform::WindowPlacement::keepClearOf(std::nullopt);
    });
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (startedAt_)
            model_->setElapsed(startedAt_->msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
    });
}

ScreenRecordingController::~ScreenRecordingController()
{
    if (holdsScreen())
        platform::WindowPlacement::keepClearOf(std::nullopt);
    cleanup();
    delete window_.data();
    // A capture still running when the session is torn down is stopped, not left writing.
    if (auto engine = std::exchange(recorder_, nullptr))
        QThreadPool::globalInstance()->start([engine] { engine->stop(); });
}

RecordingWindow* ScreenRecordingController::window() const
{
    return window_.data();
}

RecordingControlPanel* ScreenRecordingController::control() const
{
    return control_.data();
}

void ScreenRecordingController::present()
{
    switch (model_->phase()) {
    case RecordingPhase::selecting:
        return; // the selector's veils stay on top by themselves
    case RecordingPhase::starting:
    case RecordingPhase::recording:
    case RecordingPhase::stopping:
        if (control_)
            control_->showWithoutFocus();
        return;
    default:
        break;
    }
    ensureWindow();
    if (model_->displayID() == 0) {
        if (QScreen* screen = capture::workingScreen())
            model_->setDisplayID(screenID(screen));
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void ScreenRecordingController::ensureWindow()
{
    if (window_)
        return;
    window_ = new RecordingWindow(review_);
    window_->onClose = [self = QPointer(this)] { if (self) self->requestClose(); };
    if (QScreen* screen = capture::workingScreen())
        platform::WindowPlacement::of(*window_).setPlace(platform::WindowPlacement::Place::centredOn(screen));
}

void ScreenRecordingController::begin()
{
    if (model_->phase() != RecordingPhase::setup)
        return;
    if (!permission_ || !permission_()) {
        model_->setMessage(noScreenAccess);
        return;
    }
    model_->setMessage(std::nullopt);
    if (preferences_)
        model_->options().save(*preferences_);
    if (!model_->options().entireDisplay) {
        model_->setPhase(RecordingPhase::selecting);
        if (window_)
            window_->hide();
        if (onCaptureChanged)
            onCaptureChanged(true);
        QPointer<ScreenRecordingController> self(this);
        selector_ = services_.selectArea(RecordingAreaSelector::defaultPrompt,
                                         [self](std::optional<AreaSelection> selection) {
                                             if (!self)
                                                 return;
                                             // The selector calls us from its own handler: release it later.
                                             QMetaObject::invokeMethod(self.data(), [s = std::move(self->selector_)] {},
                                                                       Qt::QueuedConnection);
                                             if (selection && selection->screen)
                                                 return self->start(selection->screen, selection->rect);
                                             self->model_->setPhase(RecordingPhase::setup);
                                             if (self->onCaptureChanged)
                                                 self->onCaptureChanged(false);
                                             self->present();
                                         });
        return;
    }
    for (QScreen* screen : QGuiApplication::screens())
        if (screenID(screen) == model_->displayID())
            return start(screen, screen->geometry());
    model_->setMessage(QStringLiteral("Выбранный монитор отключён. Выберите другой экран."));
}

QPointF ScreenRecordingController::controlOrigin(const QRectF& visible, const QRectF& selection, QSizeF size)
{
    QRectF panel(QPointF(visible.center().x() - size.width() / 2, visible.bottom() - 22 - size.height()), size);
    if (!panel.intersects(selection))
        return panel.topLeft();
    // An X root grab records whatever lies in the area, our panel included.
    if (selection.bottom() + 8 + size.height() <= visible.bottom())
        panel.moveTop(selection.bottom() + 8);
    else if (selection.top() - 8 - size.height() >= visible.top())
        panel.moveTop(selection.top() - 8 - size.height());
    return panel.topLeft();
}

void ScreenRecordingController::start(QScreen* screen, const QRectF& selection)
{
    const QUuid request = QUuid::createUuid();
    requestID_ = request;
    startupInterruption_.reset();
    const std::uint32_t number = screenID(screen);
    const QRectF frame = screen->geometry();
    const double scale = screen->devicePixelRatio();
    const RecordingOptions options = model_->options();
    model_->setPhase(RecordingPhase::starting);
    model_->setOutputSize(options.outputSize(selection.size(), scale));
    if (onCaptureChanged)
        onCaptureChanged(true);
    if (window_)
        window_->hide();

    delete control_.data();
    control_ = new RecordingControlPanel(*model_);
    control_->setScreen(screen);
    platform::WindowPlacement::of(*control_).setPlace(
        platform::WindowPlacement::Place::at(controlOrigin(platform::usableArea(*screen), selection, controlSize).toPoint()));
    control_->showWithoutFocus();
    // Windows of ours opened while it records keep out of the recorded area.
    const QPoint origin = screen->geometry().topLeft();
    platform::WindowPlacement::keepClearOf(QRect(origin + ((selection.topLeft() - origin) * scale).toPoint(),
                                                 (selection.size() * scale).toSize()));

    QPointer<ScreenRecordingController> self(this);
    const auto microphoneAccess = services_.microphoneAccess;
    const auto findDisplay = services_.findDisplay;
    inBackground(
        self,
        [options, microphoneAccess, findDisplay, number] {
            if (options.microphone && !microphoneAccess())
                throw TarnwickError(noMicrophone);
            return findDisplay(number);
        },
        [self, request, options, frame, selection, scale](CaptureDisplay found, std::optional<TarnwickError> error) {
            if (error)
                return self->startFailed(request, *error);
            if (self->requestID_ != request)
                return;
            QString folder;
            try {
                // On disk, not in the RAM of $XDG_RUNTIME_DIR: an hour of video would not fit there.
                const QString root = self->services_.temporaryRoot.isEmpty() ? platform::privateCacheRoot()
                                                                             : self->services_.temporaryRoot;
                folder = QDir(root).filePath(workingFolderPrefix + uuidText(request));
                platform::createPrivateDirectory(root, folder);
            } catch (const TarnwickError& e) {
                return self->startFailed(request, e);
            }
            self->directory_ = folder;
            self->lock_ = std::make_unique<QLockFile>(QDir(folder).filePath(workingFolderLock));
            // Unlocked, the folder would pass for one a crash left: another instance's
            // recovery would take the recording from under the capture.
            if (!self->lock_->tryLock(0))
                return self->startFailed(request, lockRefused(*self->lock_, folder));
            std::shared_ptr<RecordingEngine> engine = self->services_.makeEngine();
            engine->onInterruption = [self, request](const TarnwickError& e) {
                if (self)
                    self->interrupted(request, e);
            };
            const QString url = QDir(folder).filePath(QStringLiteral("Recording.mp4"));
            RecordingEngine* raw = engine.get();
            inBackground(
                self,
                [raw, found, frame, selection, scale, options, url] {
                    raw->start(found.display, frame, selection, scale, options, url);
                    return true;
                },
                [self, request, engine](bool, std::optional<TarnwickError> error) {
                    if (error)
                        return self->startFailed(request, *error);
                    if (self->requestID_ != request) {
                        // Abandoned while starting: the capture must not run on unseen.
                        QThreadPool::globalInstance()->start([engine] { engine->stop(); });
                        return;
                    }
                    self->recorder_ = engine;
                    self->recordingStarted();
                    if (self->startupInterruption_) {
                        self->model_->setMessage(QStringLiteral("Запись прервана: ") +
                                                 self->startupInterruption_->errorDescription());
                        self->stop();
                    }
                });
        });
}

void ScreenRecordingController::startFailed(const QUuid& request, const TarnwickError& error)
{
    if (requestID_ != request)
        return;
    cleanup();
    model_->setPhase(RecordingPhase::setup);
    model_->setMessage(error.errorDescription());
    if (onCaptureChanged)
        onCaptureChanged(false);
    present();
}

void ScreenRecordingController::interrupted(const QUuid& request, const TarnwickError& error)
{
    if (requestID_ != request)
        return;
    if (model_->phase() == RecordingPhase::starting) {
        startupInterruption_ = error;
    } else if (model_->phase() == RecordingPhase::recording) {
        model_->setMessage(QStringLiteral("Запись прервана: ") + error.errorDescription());
        stop();
    }
}

void ScreenRecordingController::recordingStarted()
{
    model_->setElapsed(0);
    model_->setPhase(RecordingPhase::recording);
    startedAt_ = QDateTime::currentDateTimeUtc();
    timer_->start();
}

} // namespace tarnwick::recording
