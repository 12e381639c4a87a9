#include "editor/model/EditorState.h"

namespace tarnwick {
namespace {

using T = AnnotationTool;

} // namespace

std::optional<QUuid> EditorState::beginQRRecognition()
{
    if (tool_ != T::qr || !canExport() || comment_.isOpen())
        return std::nullopt;
    return qr_.begin();
}

} // namespace tarnwick
