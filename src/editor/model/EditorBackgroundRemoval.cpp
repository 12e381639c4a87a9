#include "editor/model/EditorBackgroundRemoval.h"

#include "editor/model/EditorState.h"
#include "platform/KeyNames.h"
#include "platform/TarnwickError.h"

#include <QTimer>
#include <algorithm>

namespace tarnwick {
namespace {

using T = AnnotationTool;

} // namespace

EditorBackgroundRemoval::~EditorBackgroundRemoval()
{
    if (job_)
        job_->cancel();
}

bool EditorBackgroundRemoval::canRemoveFromImage() const
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    return state_.images().canAdd() && a && a->kind == T::image;
}

bool EditorBackgroundRemoval::canRemoveFromScreenshot() const
{
    return state_.images().canAdd() && !state_.selectedID();
}

void EditorBackgroundRemoval::removeFromSelectedImage(const BackgroundRemoval::Processor& processor)
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (!state_.images().canAdd() || !a || a->kind != T::image || !a->embeddedImage)
        return;
    remove(*a->embeddedImage, a->id, processor);
}

void EditorBackgroundRemoval::removeFromScreenshot(const BackgroundRemoval::Processor& processor)
{
    if (!canRemoveFromScreenshot())
        return;
    remove(state_.shot().image, std::nullopt, processor);
}

bool EditorBackgroundRemoval::holdsSource(const std::optional<QUuid>& layerID) const
{
    if (!sourceKey_)
        return false;
    if (!layerID)
        return state_.shot().image.cacheKey() == *sourceKey_;
    return std::any_of(state_.annotations().begin(), state_.annotations().end(), [&](const Annotation& a) {
        return a.id == *layerID && a.embeddedImage && a.embeddedImage->cacheKey() == *sourceKey_;
    });
}

void EditorBackgroundRemoval::remove(const QImage& source, const std::optional<QUuid>& layerID,
                                     const BackgroundRemoval::Processor& processor)
{
    if (source.isNull())
        return;
    auto job = std::make_shared<BackgroundRemovalJob>();
    job_ = job;
    sourceKey_ = source.cacheKey();
    state_.assign(targetID_, std::optional<QUuid>(layerID.value_or(state_.shot().id)));
    state_.images().setMessage(std::nullopt);
    const QSize sourceSize = source.size();
    BackgroundRemoval::start(
        source, job, &state_,
        [this, job, layerID, sourceSize](const BackgroundRemoval::Outcome& outcome) {
            finish(job, layerID, sourceSize, outcome);
        },
        processor ? processor : BackgroundRemoval::Processor(&BackgroundRemoval::remove));
}

void EditorBackgroundRemoval::finish(const std::shared_ptr<BackgroundRemovalJob>& job,
                                     const std::optional<QUuid>& layerID, const QSize& sourceSize,
                                     const BackgroundRemoval::Outcome& outcome)
{
    if (job_ != job || job->isCancelled())
        return;
    const bool targetHolds = holdsSource(layerID);
    const qint64 sourceKey = *sourceKey_;
    job_.reset();
    sourceKey_.reset();
    state_.assign(targetID_, std::optional<QUuid>());
    if (!targetHolds)
        return;
    if (outcome.error) {
        try {
            std::rethrow_exception(outcome.error);
        } catch (const CancellationError&) {
        } catch (const TarnwickError& error) {
            state_.images().setMessage(error.errorDescription());
        } catch (const std::exception& error) {
            state_.images().setMessage(QString::fromUtf8(error.what()));
        } catch (...) {
            state_.images().setMessage(QStringLiteral("Не удалось удалить фон. Изображение оставлено без изменений."));
        }
        return;
    }
    if (outcome.image.size() != sourceSize) {
        state_.images().setMessage(
            QStringLiteral("Не удалось сохранить размер изображения. Фон оставлен без изменений."));
        return;
    }
    QImage result = outcome.image;
    result.setDevicePixelRatio(1);
    if (layerID) {
        QVector<Annotation> list = state_.annotations();
        for (Annotation& a : list)
            if (a.id == *layerID && a.embeddedImage && a.embeddedImage->cacheKey() == sourceKey) {
                a.embeddedImage = std::make_shared<const QImage>(result);
                break;
            }
        state_.replace(list);
    } else {
        state_.checkpoint();
        Screenshot copy = state_.shot();
        copy.image = result;
        state_.recompose(copy);
        state_.setShot(copy);
    }
    showNotice();
}

void EditorBackgroundRemoval::cancel()
{
    if (job_)
        job_->cancel();
    job_.reset();
    sourceKey_.reset();
    state_.assign(targetID_, std::optional<QUuid>());
}

void EditorBackgroundRemoval::validate()
{
    if (!targetID_)
        return;
    const std::optional<QUuid> layer = *targetID_ == state_.shot().id ? std::nullopt : targetID_;
    if (!holdsSource(layer))
        cancel();
}

void EditorBackgroundRemoval::showNotice()
{
    state_.images().setMessage(platform::keyText(u"Фон удалён. ⌘Z — вернуть исходное изображение."));
    const QUuid notice = QUuid::createUuid();
    noticeID_ = notice;
    QTimer::singleShot(EditorState::noticeDelayMs, &state_, [this, notice] {
        if (noticeID_ == notice)
            state_.images().setMessage(std::nullopt);
    });
}

void EditorBackgroundRemoval::dismissNotice()
{
    if (noticeID_)
        state_.images().setMessage(std::nullopt);
}

} // namespace tarnwick
