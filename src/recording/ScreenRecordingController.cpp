#include "recording/ScreenRecordingController.h"

#include "capture/SelectionOverlays.h"
#include "panels/FileDialogs.h"
#include "panels/FloatingPanel.h"
#include "panels/Theme.h"
#include "platform/PrivateFiles.h"
#include "platform/UsableArea.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingRecovery.h"
#include "recording/RecordingWindow.h"
#include "recording/review/RecordingExport.h"
#include "recording/review/VideoBlurExport.h"
#include "recording/review/VideoBlurRendering.h"
#include "recording/review/VideoBlurTracking.h"
#include "series/Palette.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <algorithm>
#include <cmath>

namespace tarnwick::recording {

namespace {

const QString noScreenAccess = QStringLiteral(
    "Нет доступа к экрану. X-сервер не отдаёт изображение экрана (запрос GetImage отклонён): запустите Tarnwick в "
    "сеансе X11, где программам разрешено читать экран. Перед перезапуском сохраните работу.");
const QString noMicrophone = QStringLiteral(
    "Нет доступа к микрофону. PulseAudio не открывает источник звука: проверьте, что звуковой сервер запущен и "
    "микрофон не отключён в его настройках, или отключите запись микрофона.");
const QString saveDirectoryKey = QStringLiteral("recordingSaveDirectory");

// Runs `work` on a worker thread and `done(value, error)` back on the GUI
// thread; `done` is skipped when the controller has gone, but is always
// destroyed on the GUI thread, so whatever it holds is released there.
template <typename Work, typename Done>
void inBackground(QPointer<ScreenRecordingController> self, Work work, Done done)
{
    QThreadPool::globalInstance()->start([self, work = std::move(work), done = std::move(done)]() mutable {
        using Value = decltype(work());
        Value value{};
        std::optional<TarnwickError> error;
        try {
            value = work();
        } catch (const TarnwickError& e) {
            error = e;
        } catch (const std::exception& e) {
            error = TarnwickError(QString::fromUtf8(e.what()));
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, value = std::move(value), error = std::move(error), done = std::move(done)]() mutable {
                if (self)
                    done(std::move(value), std::move(error));
            },
            Qt::QueuedConnection);
    });
}

// A description framed by a sentence that goes on after it, without a doubled full stop.
QString clause(const TarnwickError& error)
{
    QString text = error.errorDescription();
    if (text.endsWith(u'.') && !text.endsWith(QStringLiteral("..")))
        text.chop(1);
    return text;
}

// A question with a button to stay (the default) and one to go on; whether the user went on.
bool confirmed(QWidget* parent, const QString& question, const QString& detail, const QString& stay,
               const QString& go, QMessageBox::ButtonRole role, QMessageBox::Icon icon = QMessageBox::NoIcon)
{
    QMessageBox box(parent);
    box.setIcon(icon);
    box.setText(question);
    box.setInformativeText(detail);
    QPushButton* staying = box.addButton(stay, QMessageBox::RejectRole);
    QPushButton* going = box.addButton(go, role);
    box.setDefaultButton(staying);
    Theme::giveRoom(box);
    box.exec();
    return box.clickedButton() == going;
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

RecordingServices RecordingServices::system()
{
    RecordingServices s;
    s.findDisplay = [](std::uint32_t id) { return RecordingContent::display(id); };
    s.makeEngine = [] { return std::make_shared<ScreenRecorderEngine>(); };
    s.selectArea = [](const QString& prompt, RecordingAreaSelector::Completion completion) {
        auto selector = std::make_shared<RecordingAreaSelector>();
        selector->select(prompt, std::move(completion));
        return std::shared_ptr<void>(selector);
    };
    s.exportTrimmed = &review::RecordingExport::prepare;
    s.exportBlurred = [](const QString& source, const review::RecordingTrim& trim,
                         const std::vector<review::VideoBlurRegion>& regions, const QString& destination) {
        review::VideoBlurExport::prepare(source, trim, regions, destination);
    };
    s.install = &review::RecordingExport::install;
    s.duration = &review::RecordingExport::duration;
    s.chooseDestination = [](QWidget* parent, const QString& proposal) -> std::optional<QString> {
        const QStringList paths = runFileDialog(parent, QStringLiteral("Сохранить запись"), QStringLiteral("MPEG-4 (*.mp4)"),
                                                QFileDialog::AnyFile, QFileDialog::AcceptSave, proposal);
        if (paths.isEmpty())
            return std::nullopt;
        return paths.constFirst();
    };
    s.confirmDiscard = [](QWidget* parent) {
        return confirmed(parent, QStringLiteral("Удалить несохранённую запись?"),
                         QStringLiteral("Видео ещё не сохранено в выбранную папку."), QStringLiteral("Остаться"),
                         QStringLiteral("Удалить запись"), QMessageBox::DestructiveRole);
    };
    s.confirmUntracked = [](QWidget* parent) {
        return confirmed(parent, QStringLiteral("Сохранить размытие без отслеживания?"),
                         QStringLiteral("После правки область не отслежена заново: на части видео рамка стоит на "
                                        "месте и может не закрывать цель. Нажмите «Отследить», чтобы рамка снова "
                                        "следовала за целью, или сохраните как есть."),
                         QStringLiteral("Вернуться"), QStringLiteral("Сохранить как есть"), QMessageBox::AcceptRole,
                         QMessageBox::Warning);
    };
    s.beep = [] { QApplication::beep(); };
    s.trackBlur = &review::VideoBlurTracking::track;
    s.blurFrame = &review::VideoBlurRendering::image;
    return s;
}

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
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (startedAt_)
            model_->setElapsed(startedAt_->msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
    });
}

ScreenRecordingController::~ScreenRecordingController()
{
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
        if (control_) {
            QList<QRectF> frames;
            for (QScreen* screen : QGuiApplication::screens())
                frames.append(platform::usableArea(*screen));
            control_->move(FloatingPanel::constrainedOrigin(control_->pos(), control_->size(), frames).toPoint());
            control_->showWithoutFocus();
        }
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
    if (QScreen* screen = capture::workingScreen()) {
        window_->setScreen(screen);
        window_->move(platform::usableArea(*screen).center() - window_->rect().center());
    }
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
    control_->move(controlOrigin(platform::usableArea(*screen), selection, controlSize).toPoint());
    control_->showWithoutFocus();

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
            self->lock_->lock();
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

void ScreenRecordingController::stop()
{
    if (model_->phase() != RecordingPhase::recording || !recorder_)
        return;
    model_->setPhase(RecordingPhase::stopping);
    timer_->stop();
    std::shared_ptr<RecordingEngine> engine = recorder_;
    const auto duration = services_.duration;
    struct Outcome {
        RecordingResult result;
        double duration = 0;
        std::optional<TarnwickError> durationError;
    };
    inBackground(
        QPointer(this),
        [raw = engine.get(), duration] {
            Outcome outcome;
            outcome.result = raw->stop();
            if (!outcome.result.url.isEmpty()) {
                try {
                    outcome.duration = duration(outcome.result.url);
                    if (!std::isfinite(outcome.duration) || outcome.duration <= 0)
                        outcome.durationError = TarnwickError(QStringLiteral("Получена пустая запись."));
                } catch (const TarnwickError& e) {
                    outcome.durationError = e;
                }
            }
            return outcome;
        },
        [self = QPointer(this), engine](Outcome outcome, std::optional<TarnwickError>) {
            self->stopped(outcome.result, outcome.duration, outcome.durationError);
        });
}

void ScreenRecordingController::stopped(const RecordingResult& result, double duration,
                                        std::optional<TarnwickError> durationError)
{
    recorder_.reset();
    delete control_.data();
    if (onCaptureChanged)
        onCaptureChanged(false);
    if (result.url.isEmpty()) {
        cleanup();
        model_->setPhase(RecordingPhase::setup);
        model_->setMessage(result.error ? result.error->errorDescription() : QString());
        return present();
    }
    source_ = result.url;
    if (result.error) {
        // What was recorded up to the failure is the user's file from now on: it
        // goes to the save folder at once (a rename, no second copy), or stays put.
        QString moved = moveRecordingTo(result.url, recordingSaveFolder(preferences_),
                                        defaultFileName(startedAt_.value_or(QDateTime::currentDateTimeUtc()).toLocalTime()));
        if (moved.isEmpty()) {
            moved = result.url;
            lock_.reset();
            directory_.reset(); // kept for the recovery at the next start
        }
        source_ = moved;
        model_->setMessage(QStringLiteral("Запись прервана: ") + clause(*result.error) +
                           QStringLiteral(". Записанное сохранено в «") + QDir::toNativeSeparators(moved) +
                           QStringLiteral("»."));
    }
    model_->setVideoSource(*source_);
    review_.player().setSource(*source_);
    model_->setFileBytes(QFileInfo(*source_).size());
    if (durationError) {
        model_->setCanTrim(false);
        const double d = std::max(model_->elapsed(), 0.1);
        model_->setTrim({d, 0, d});
        model_->setPhase(RecordingPhase::review);
        model_->setMessage(QStringLiteral("Предпросмотр недоступен: ") + clause(*durationError) +
                           QStringLiteral(". Можно сохранить исходный MP4."));
    } else {
        model_->setCanTrim(true);
        model_->setTrim({duration, 0, duration});
        review_.player().setForwardEndTime(duration);
        model_->setPhase(RecordingPhase::review);
        review_.seekVideo(0, false); // the first picture, to draw regions on
        if (window_)
            window_->resizeForReview();
    }
    present();
}

bool ScreenRecordingController::canQuit() const
{
    return model_->phase() == RecordingPhase::setup || model_->phase() == RecordingPhase::review;
}

bool ScreenRecordingController::holdsScreen() const
{
    switch (model_->phase()) {
    case RecordingPhase::selecting:
    case RecordingPhase::starting:
    case RecordingPhase::recording:
    case RecordingPhase::stopping: return true;
    default: return false;
    }
}

QString ScreenRecordingController::defaultFileName(const QDateTime& now)
{
    return QStringLiteral("Tarnwick ") + now.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(".mp4");
}

void ScreenRecordingController::save()
{
    if (model_->phase() != RecordingPhase::review || model_->trackingProgress() || !source_ || !window_)
        return;
    const review::RecordingTrim trim = model_->trim();
    const auto& regions = model_->blurRegions();
    if (std::any_of(regions.begin(), regions.end(),
                    [&](const review::VideoBlurRegion& r) { return r.losesTargetWithin(trim.start, trim.end); })) {
        model_->setMessage(QStringLiteral("Проверьте интервалы, где отслеживание потеряло цель, или явно "
                                          "оставьте область неподвижной."));
        return;
    }
    review_.player().pause();
    // An edit since the last tracking left boxes standing still where the target may have moved.
    if (std::any_of(regions.begin(), regions.end(),
                    [&](const review::VideoBlurRegion& r) { return r.untrackedWithin(trim.start, trim.end); }) &&
        !(services_.confirmUntracked && services_.confirmUntracked(window_)))
        return;
    const QString source = *source_;
    QString proposal = defaultFileName(QDateTime::currentDateTime());
    if (preferences_ && preferences_->value(saveDirectoryKey).typeId() == QMetaType::QString)
        proposal = QDir(preferences_->value(saveDirectoryKey).toString()).filePath(proposal);
    const std::optional<QString> destination = services_.chooseDestination(window_, proposal);
    if (destination && model_->phase() == RecordingPhase::review)
        exportTo(source, *destination);
}

void ScreenRecordingController::exportTo(const QString& source, const QString& destination)
{
    const review::RecordingTrim trim = model_->trim();
    const std::vector<review::VideoBlurRegion> regions = model_->blurRegions();
    model_->setPhase(RecordingPhase::exporting);
    model_->setMessage(std::nullopt);
    const QString prepared =
        QDir(directory_.value_or(QDir::tempPath()))
            .filePath(QStringLiteral("Export-") + uuidText(QUuid::createUuid()) + QStringLiteral(".mp4"));
    const bool blurred = std::any_of(regions.begin(), regions.end(),
                                     [&](const auto& r) { return r.start < trim.end && trim.start < r.end; });
    const RecordingServices& s = services_;
    inBackground(
        QPointer(this),
        [exportTrimmed = s.exportTrimmed, exportBlurred = s.exportBlurred, install = s.install, source, trim,
         regions, prepared, destination, blurred] {
            if (blurred)
                exportBlurred(source, trim, regions, prepared);
            else
                exportTrimmed(source, trim, prepared);
            install(prepared, destination);
            return true;
        },
        [self = QPointer(this), prepared, destination](bool, std::optional<TarnwickError> error) {
            if (error) {
                QFile::remove(prepared);
                self->model_->setPhase(RecordingPhase::review);
                self->model_->setMessage(QStringLiteral("Не удалось сохранить: ") + clause(*error) +
                                         QStringLiteral(". Запись осталась открытой."));
                return;
            }
            if (self->preferences_)
                self->preferences_->setValue(saveDirectoryKey, QFileInfo(destination).absolutePath());
            if (self->onSaved)
                self->onSaved(destination);
            self->closeWithoutPrompt();
        });
}

void ScreenRecordingController::requestClose()
{
    const RecordingPhase phase = model_->phase();
    if (phase == RecordingPhase::setup)
        return closeWithoutPrompt();
    if (phase != RecordingPhase::review) {
        if (services_.beep)
            services_.beep();
        return;
    }
    if (services_.confirmDiscard && services_.confirmDiscard(window_))
        closeWithoutPrompt();
}

void ScreenRecordingController::closeWithoutPrompt()
{
    if (window_) {
        window_->onClose = nullptr;
        window_->hide();
        window_->deleteLater();
        window_ = nullptr;
    }
    cleanup();
    model_->setPhase(RecordingPhase::setup);
    if (onDismiss)
        onDismiss();
}

void ScreenRecordingController::keepForRecovery()
{
    if (directory_ && (source_ || recorder_)) {
        lock_.reset(); // unlocked, so the next start's recovery takes the folder
        directory_.reset();
    }
    cleanup();
}

void ScreenRecordingController::cleanup()
{
    requestID_.reset();
    timer_->stop();
    delete control_.data();
    review_.resetBlurEditor();
    review_.player().pause();
    review_.player().setSource(std::nullopt);
    source_.reset();
    lock_.reset();
    if (directory_)
        QDir(*directory_).removeRecursively();
    directory_.reset();
}

} // namespace tarnwick::recording
