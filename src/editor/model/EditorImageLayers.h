#pragma once

#include "editor/model/EditorImageImporter.h"
#include "platform/DetachedWork.h"
#include "series/Annotation.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class QMimeData;

namespace tarnwick {

class EditorState;

// The image layers: inserting images (pasted, chosen or captured from the
// screen), the notice about them, and the controls that act on the selected
// layer or, with the select tool and nothing selected, on the shot itself.
// Owned by EditorState, whose document it edits; every insertion or change is
// one undo step of the state. GUI thread.
class EditorImageLayers {
public:
    explicit EditorImageLayers(EditorState& state);
    EditorImageLayers(const EditorImageLayers&) = delete;
    EditorImageLayers& operator=(const EditorImageLayers&) = delete;

    // A screen capture for a new layer is running; the shell clears it when the capture ends.
    bool capturing() const { return capturing_; }
    void setCapturing(bool on);
    const std::optional<QString>& message() const { return message_; }
    // The image notice (the shell's, when a capture for a layer failed); clears
    // the background-removal notice.
    void setMessage(const std::optional<QString>& message);
    // No editor open, no crop selection, capture or job running, not picking.
    bool canAdd() const;
    // Inserts the clipboard's images; false with a notice when there is none or it cannot be read.
    // Files it names are read on a thread of their own (their disk may stall): then it is true,
    // and the layers, or the notice, follow once they are read, as from `add`; so does a paste
    // made while an earlier one is still being read.
    bool paste(const QMimeData* data);
    // Inserts the images of files the user chose, read on a thread of their own; unreadable ones
    // are skipped, and none readable gives the notice.
    void addFiles(const QStringList& files);
    // Reads for pastes and choices come in as layers, one step each, in the order they were
    // asked, once the editor takes layers (a text closed, a crop applied). How many are not in yet:
    std::size_t readsWaiting() const { return fileReads_.waiting(); }
    // What reads a paste's or a choice's files, on their own thread: EditorImageImporter::fromOffer
    // unless replaced.
    using FileReader = std::function<EditorImageImporter::Result(const EditorImageImporter::Offer&)>;
    void setFileReader(FileReader reader) { fileReader_ = std::move(reader); }
    // Each image scaled down to 65 % of the visible area and centred; one step for all.
    bool add(const QVector<QImage>& images);
    bool beginCapture();
    // The select tool with nothing selected: the image controls act on the shot itself.
    bool editingOriginal() const;
    void flipSelectedHorizontally();
    double cornerRadiusLimit() const;
    double displayedCornerRadius() const;
    void setCornerRadius(double radius);

private:
    // A read's layers, or its notice; false when none was inserted.
    bool insert(const EditorImageImporter::Result& read);
    // As insert, for a read in its turn: false, keeping it, while the editor takes no layers.
    bool insertInTurn(const EditorImageImporter::Result& read);
    // The element list with `change` applied to the selected image layer; none without one.
    std::optional<QVector<Annotation>> withSelected(const std::function<void(Annotation&)>& change) const;

    EditorState& state_;
    bool capturing_ = false;
    std::optional<QString> message_;
    FileReader fileReader_ = &EditorImageImporter::fromOffer;
    platform::DetachedWork fileReads_;
};

} // namespace tarnwick
