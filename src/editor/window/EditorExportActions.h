#pragma once

#include "platform/DetachedWork.h"
#include "render/recognition/QRCodeRecognizer.h"

#include <QObject>
#include <QRectF>
#include <QString>
#include <exception>
#include <functional>
#include <optional>

namespace tarnwick {

class AppModel;
class EditorState;

// The editor's operations that leave it with a result: copy the shot without
// markers, copy the sampled colour, save an unmarked PNG into the image folder
// (asking for the folder first when none is set), and read a QR code. All but
// the plain copy close the editor through `dismiss`; the status line then keeps
// the operation's own message. Refusals beep through the model's beeper; errors
// of the model go to `reportError` and leave the editor open.
// GUI thread; the QR decoding alone runs on a pool thread, its result comes back
// queued to this object and is dropped with it or when the read was abandoned.
class EditorExportActions : public QObject {
    Q_OBJECT
public:
    // Calls its completion exactly once, with no folder when none was chosen.
    using DirectoryChooser = std::function<void(std::function<void(std::optional<QString>)>)>;
    using ErrorReporter = std::function<void(const std::exception&)>;

    EditorExportActions(EditorState& state, AppModel& model, std::function<void()> dismiss, DirectoryChooser chooseDirectory,
                        ErrorReporter reportError, QRCodeRecognizer::Reader recognizeQRCode = {},
                        QObject* parent = nullptr);

    // True when the image was copied.
    bool copyWithoutMarkers(bool closeAfterCopy);
    // True when the colour was copied and the editor closed.
    bool copyColorAndClose();
    void saveAndClose();
    void selectDirectory(bool saveAfterSelection);
    void save();
    // `rect` in the shot's pixel coordinates, as the canvas reports the QR tool's drag.
    void readQRAndClose(const QRectF& rect);

    bool choosingDirectory() const { return choosingDirectory_; }

signals:
    // A QR read ended, whatever its outcome (tests and benchmarks wait on it).
    void qrReadFinished();

private:
    bool exportAllowed() const;
    void beep();
    void report(const std::exception& error);
    // Closes the editor, keeping the status the operation itself set.
    void dismissKeepingStatus();
    void finishQRRead(const QUuid& id, const std::optional<QString>& text, std::exception_ptr error);

    EditorState& state_;
    AppModel& model_;
    std::function<void()> dismiss_;
    DirectoryChooser chooseDirectory_;
    ErrorReporter reportError_;
    QRCodeRecognizer::Reader recognizeQRCode_;
    bool choosingDirectory_ = false;
    platform::DetachedWork qrReads_{this};
};

} // namespace tarnwick
