#include "editor/model/EditorState.h"

#include "platform/KeyNames.h"
#include "platform/TarnwickError.h"

#include <QTimer>
#include <algorithm>

namespace tarnwick {
namespace {

using T = AnnotationTool;

} // namespace

bool EditorState::canRemoveImageBackground() const
{
    const std::optional<Annotation> a = selectedAnnotation();
    return canAddImage() && a && a->kind == T::image;
}

bool EditorState::canRemoveScreenshotBackground() const { return canAddImage() && !selectedID_; }

void EditorState::removeSelectedImageBackground(const BackgroundRemoval::Processor& processor)
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (!canAddImage() || !a || a->kind != T::image || !a->embeddedImage)
        return;
    removeBackground(*a->embeddedImage, a->id, processor);
}

void EditorState::removeScreenshotBackground(const BackgroundRemoval::Processor& processor)
{
    if (!canRemoveScreenshotBackground())
        return;
    removeBackground(shot_.image, std::nullopt, processor);
}

bool EditorState::holdsBackgroundSource(const std::optional<QUuid>& layerID) const
{
    if (!backgroundSourceKey_)
        return false;
    if (!layerID)
        return shot_.image.cacheKey() == *backgroundSourceKey_;
    return std::any_of(annotations_.begin(), annotations_.end(), [&](const Annotation& a) {
        return a.id == *layerID && a.embeddedImage && a.embeddedImage->cacheKey() == *backgroundSourceKey_;
    });
}

void EditorState::removeBackground(const QImage& source, const std::optional<QUuid>& layerID,
                                   const BackgroundRemoval::Processor& processor)
{
    if (source.isNull())
        return;
    auto job = std::make_shared<BackgroundRemovalJob>();
    backgroundJob_ = job;
    backgroundSourceKey_ = source.cacheKey();
    assign(removingBackgroundID_, std::optional<QUuid>(layerID.value_or(shot_.id)));
    setImageMessage(std::nullopt);
    const QSize sourceSize = source.size();
    BackgroundRemoval::start(
        source, job, this,
        [this, job, layerID, sourceSize](const BackgroundRemoval::Outcome& outcome) {
            finishBackgroundRemoval(job, layerID, sourceSize, outcome);
        },
        processor ? processor : BackgroundRemoval::Processor(&BackgroundRemoval::remove));
}

void EditorState::finishBackgroundRemoval(const std::shared_ptr<BackgroundRemovalJob>& job,
                                          const std::optional<QUuid>& layerID, const QSize& sourceSize,
                                          const BackgroundRemoval::Outcome& outcome)
{
    if (backgroundJob_ != job || job->isCancelled())
        return;
    const bool targetHolds = holdsBackgroundSource(layerID);
    const qint64 sourceKey = *backgroundSourceKey_;
    backgroundJob_.reset();
    backgroundSourceKey_.reset();
    assign(removingBackgroundID_, std::optional<QUuid>());
    if (!targetHolds)
        return;
    if (outcome.error) {
        try {
            std::rethrow_exception(outcome.error);
        } catch (const CancellationError&) {
        } catch (const TarnwickError& error) {
            setImageMessage(error.errorDescription());
        } catch (const std::exception& error) {
            setImageMessage(QString::fromUtf8(error.what()));
        } catch (...) {
            setImageMessage(QStringLiteral("Не удалось удалить фон. Изображение оставлено без изменений."));
        }
        return;
    }
    if (outcome.image.size() != sourceSize) {
        setImageMessage(QStringLiteral("Не удалось сохранить размер изображения. Фон оставлен без изменений."));
        return;
    }
    QImage result = outcome.image;
    result.setDevicePixelRatio(1);
    if (layerID) {
        QVector<Annotation> list = annotations_;
        for (Annotation& a : list)
            if (a.id == *layerID && a.embeddedImage && a.embeddedImage->cacheKey() == sourceKey) {
                a.embeddedImage = std::make_shared<const QImage>(result);
                break;
            }
        replace(list);
    } else {
        checkpoint();
        Screenshot copy = shot_;
        copy.image = result;
        recompose(copy);
        setShot(copy);
    }
    showBackgroundRemovalNotice();
}

void EditorState::cancelBackgroundRemoval()
{
    if (backgroundJob_)
        backgroundJob_->cancel();
    backgroundJob_.reset();
    backgroundSourceKey_.reset();
    assign(removingBackgroundID_, std::optional<QUuid>());
}

void EditorState::validateBackgroundRemoval()
{
    if (!removingBackgroundID_)
        return;
    const std::optional<QUuid> layer = *removingBackgroundID_ == shot_.id ? std::nullopt : removingBackgroundID_;
    if (!holdsBackgroundSource(layer))
        cancelBackgroundRemoval();
}

void EditorState::showBackgroundRemovalNotice()
{
    setImageMessage(platform::keyText(u"Фон удалён. ⌘Z — вернуть исходное изображение."));
    const QUuid notice = QUuid::createUuid();
    backgroundNoticeID_ = notice;
    QTimer::singleShot(noticeDelayMs, this, [this, notice] {
        if (backgroundNoticeID_ == notice)
            setImageMessage(std::nullopt);
    });
}

void EditorState::dismissBackgroundRemovalNotice()
{
    if (backgroundNoticeID_)
        setImageMessage(std::nullopt);
}

std::optional<QUuid> EditorState::beginQRRecognition()
{
    if (tool_ != T::qr || !canExport() || showComment_)
        return std::nullopt;
    return qr_.begin();
}

} // namespace tarnwick
