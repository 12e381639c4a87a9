// The second half of a recording session: the stop, the save with its export, the closing,
// and the clean-up every ending uses.
#include "recording/ScreenRecordingController.h"

#include "panels/FileDialogs.h"
#include "platform/PrivateFiles.h"
#include "panels/Theme.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingRecovery.h"
#include "recording/RecordingSessionWork.h"
#include "recording/RecordingWindow.h"
#include "recording/review/RecordingExport.h"
#include "recording/review/VideoBlurExport.h"
#include "recording/review/VideoBlurRendering.h"
#include "recording/review/VideoBlurTracking.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <future>

namespace tarnwick::recording {

namespace {

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
            keptUnlessSaved_ = true; // the only copy: the recovery takes it unless a save does
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
    const bool blurred = std::any_of(regions.begin(), regions.end(),
                                     [&](const auto& r) { return r.start < trim.end && trim.start < r.end; });
    auto done = std::make_shared<std::promise<bool>>();
    exporting_ = Export{done->get_future().share(), destination};
    const RecordingServices& s = services_;
    inBackground(
        QPointer(this),
        [exportTrimmed = s.exportTrimmed, exportBlurred = s.exportBlurred, install = s.install, source, trim,
         regions, destination, blurred, done] {
            // Made beside the destination, on its disk: the working disk may be full (what cut
            // the recording short), and the copy is put in place by a rename.
            QString prepared;
            try {
                prepared = review::RecordingExport::reserveBeside(destination);
                try {
                    if (blurred)
                        exportBlurred(source, trim, regions, prepared);
                    else
                        exportTrimmed(source, trim, prepared);
                } catch (const platform::FileError& error) {
                    // The hidden file's name means nothing to the user: the folder they chose failed.
                    if (!error.errorDescription().contains(QFileInfo(prepared).fileName()))
                        throw;
                    throw TarnwickError(QStringLiteral("Не удалось записать файл в выбранную папку: %1.")
                                            .arg(platform::fileErrorReason(error.code())));
                }
                install(prepared, destination);
            } catch (...) {
                // Here, not on the GUI thread: a program ended by a signal waits for this end.
                if (!prepared.isEmpty())
                    QFile::remove(prepared);
                done->set_value(false);
                throw;
            }
            done->set_value(true);
            return true;
        },
        [self = QPointer(this), destination](bool, std::optional<TarnwickError> error) {
            self->exporting_.reset();
            if (error) {
                self->model_->setPhase(RecordingPhase::review);
                self->model_->setMessage(QStringLiteral("Не удалось сохранить: ") + clause(*error) +
                                         QStringLiteral(". Запись осталась открытой."));
                return;
            }
            self->saved(destination);
            if (self->onSaved)
                self->onSaved(destination);
            self->closeWithoutPrompt();
        });
}

void ScreenRecordingController::saved(const QString& destination)
{
    // The recording is the user's file now: its working folder goes with the session.
    keptUnlessSaved_ = false;
    if (preferences_)
        preferences_->setValue(saveDirectoryKey, QFileInfo(destination).absolutePath());
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
    // A save under way goes on to its end (the program would wait for it all the same). What it
    // saved is the user's file and must not come back as a recovered one; what it could not
    // save stays for the recovery.
    if (exporting_ && exporting_->saved.get()) {
        saved(exporting_->destination);
        exporting_.reset();
    } else if (directory_ && (source_ || recorder_)) {
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
    if (directory_ && !keptUnlessSaved_)
        QDir(*directory_).removeRecursively();
    directory_.reset();
    keptUnlessSaved_ = false;
}

} // namespace tarnwick::recording
