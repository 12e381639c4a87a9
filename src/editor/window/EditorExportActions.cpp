#include "editor/window/EditorExportActions.h"

#include "editor/model/EditorState.h"
#include "platform/KeyNames.h"
#include "render/Engines.h"
#include "render/ScreenshotRenderer.h"
#include "series/AppModel.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <QFileInfo>
#include <QPointer>
#include <stdexcept>

namespace tarnwick {

EditorExportActions::EditorExportActions(EditorState& state, AppModel& model, std::function<void()> dismiss,
                                         DirectoryChooser chooseDirectory, ErrorReporter reportError,
                                         QRCodeRecognizer::Reader recognizeQRCode, QObject* parent)
    : QObject(parent), state_(state), model_(model), dismiss_(std::move(dismiss)), chooseDirectory_(std::move(chooseDirectory)),
      reportError_(std::move(reportError)), recognizeQRCode_(recognizeQRCode ? std::move(recognizeQRCode) : [](const QImage& image) {
          return recognitionEngine().recognizeCode(image); // the recognition module comes in here
      })
{
}

bool EditorExportActions::exportAllowed() const
{
    return state_.canExport() && !state_.comment().isOpen() && !choosingDirectory_;
}

void EditorExportActions::beep()
{
    if (model_.beep)
        model_.beep();
}

void EditorExportActions::report(const std::exception& error)
{
    if (reportError_)
        reportError_(error);
}

void EditorExportActions::dismissKeepingStatus()
{
    // Dismissing writes the cancel message; the copy's own message stays.
    AppModel& model = model_; // the editor may be gone after dismissing
    const QString status = model.status();
    if (dismiss_)
        dismiss_();
    model.setStatus(status);
}

bool EditorExportActions::copyWithoutMarkers(bool closeAfterCopy)
{
    if (!exportAllowed()) {
        beep();
        return false;
    }
    try {
        model_.copyUnmarkedImage(state_.editedShot(), state_.annotations());
    } catch (const std::exception& error) {
        report(error);
        return false;
    }
    state_.setCopiedWithoutMarkers(true);
    if (closeAfterCopy)
        dismissKeepingStatus();
    return true;
}

bool EditorExportActions::copyColorAndClose()
{
    CursorColorState& readOut = state_.cursorColor();
    if (!exportAllowed() || !readOut.insideCanvas() || !readOut.sample()) {
        beep();
        return false;
    }
    try {
        model_.copySampledColor(*readOut.sample(), readOut.format());
    } catch (const std::exception& error) {
        report(error);
        return false;
    }
    dismissKeepingStatus();
    return true;
}

void EditorExportActions::saveAndClose()
{
    if (!exportAllowed()) {
        beep();
        return;
    }
    if (model_.imageSaveDirectory())
        save();
    else
        selectDirectory(true);
}

void EditorExportActions::selectDirectory(bool saveAfterSelection)
{
    if (choosingDirectory_ || !state_.images().canAdd()) {
        beep();
        return;
    }
    choosingDirectory_ = true;
    chooseDirectory_([self = QPointer<EditorExportActions>(this), saveAfterSelection](std::optional<QString> folder) {
        if (!self)
            return;
        self->choosingDirectory_ = false;
        if (!folder)
            return;
        try {
            self->model_.setImageSaveDirectory(*folder);
        } catch (const std::exception& error) {
            self->report(error);
            return;
        }
        if (saveAfterSelection)
            self->save();
    });
}

void EditorExportActions::save()
{
    if (!exportAllowed()) {
        beep();
        return;
    }
    QString path;
    try {
        path = model_.saveUnmarkedImage(state_.editedShot());
    } catch (const std::exception& error) {
        report(error);
        return;
    }
    AppModel& model = model_;
    if (dismiss_)
        dismiss_();
    model.setStatus(QStringLiteral("Снимок сохранён: ") + QFileInfo(path).fileName());
}

void EditorExportActions::readQRAndClose(const QRectF& rect)
{
    if (!exportAllowed() || state_.tool() != AnnotationTool::qr)
        return;
    const auto bounds = [this] { return state_.cropRect().value_or(state_.canvasRect()); };
    QRectF area = geo::intersection(geo::integral(geo::intersection(rect, bounds())), bounds());
    if (geo::isNull(area) || area.width() < 4 || area.height() < 4) {
        state_.qr().setMessage(QStringLiteral("Выделите область с QR-кодом."));
        return;
    }
    QImage rendered;
    try {
        rendered = ScreenshotRenderer::render(state_.editedShot(), QString(), false);
    } catch (const std::exception& error) {
        const auto* sentence = dynamic_cast<const TarnwickError*>(&error);
        state_.qr().setMessage(sentence ? sentence->errorDescription() : QString::fromUtf8(error.what()));
        report(error);
        return;
    }
    area.translate(-bounds().topLeft());
    const QImage crop = rendered.isNull() ? QImage() : rendered.copy(area.toAlignedRect());
    if (crop.isNull())
        return;
    const std::optional<QUuid> id = state_.beginQRRecognition();
    if (!id)
        return;
    struct Read {
        std::optional<QString> text;
        std::exception_ptr error;
    };
    qrReads_.run(
        [reader = recognizeQRCode_, crop] {
            Read read;
            try {
                read.text = reader(crop);
            } catch (...) {
                read.error = std::current_exception();
            }
            return read;
        },
        [this, id = *id](const Read& read) { finishQRRead(id, read.text, read.error); });
}

void EditorExportActions::finishQRRead(const QUuid& id, const std::optional<QString>& text, std::exception_ptr error)
{
    struct Done {
        QPointer<EditorExportActions> actions;
        ~Done()
        {
            if (actions)
                emit actions->qrReadFinished();
        }
    } done{this};
    if (!state_.qr().finish(id, std::nullopt))
        return;
    const auto failed = [this](const std::exception& failure) {
        state_.qr().setMessage(QStringLiteral("Не удалось распознать QR-код. Попробуйте ещё раз."));
        report(failure);
    };
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& failure) {
            failed(failure);
        } catch (...) {
            failed(std::runtime_error("QR reader failed"));
        }
        return;
    }
    if (!text) {
        state_.qr().setMessage(QStringLiteral("QR-код не найден. Выделите его целиком, захватив поля вокруг."));
        return;
    }
    bool copied = false;
    try {
        copied = model_.copyRecognizedText(*text, true);
    } catch (const std::exception& failure) {
        failed(failure);
        return;
    }
    if (!copied) {
        state_.qr().setMessage(QStringLiteral("Не удалось прочитать содержимое QR-кода."));
        return;
    }
    AppModel& model = model_;
    if (dismiss_)
        dismiss_();
    model.setStatus(platform::keyText(u"Содержимое QR-кода скопировано — ⌘V"));
}

} // namespace tarnwick
