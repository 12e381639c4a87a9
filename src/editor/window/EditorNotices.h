#pragma once

#include <QString>
#include <optional>

namespace tarnwick {

class EditorState;

// The notice over the canvas, in order of priority: picking a colour, the QR
// read, the image notice, the effects notice; none when nothing applies.
std::optional<QString> editorNotice(const EditorState& state);

// The footer's tooltip: the notice when there is one, else how to use the tool
// new elements are drawn with. Key names are the Linux ones.
QString editorHint(const EditorState& state);

} // namespace tarnwick
