#include "editor/window/EditorNotices.h"

#include "editor/model/EditorState.h"
#include "platform/KeyNames.h"

#include <array>

namespace tarnwick {
namespace {

using T = AnnotationTool;

// One hint per tool, in the order of AnnotationTool; blur has a second one for the object modes.
constexpr std::array<const char16_t*, 15> hints{
    u"Перетащите разметку. Двойной щелчок по надписи или номеру — изменить текст.",                  // select
    u"Проведите стрелку. Крайние точки меняют направление, средняя — изгиб.",                          // arrow
    u"Зажмите кнопку мыши и проведите по снимку.",                                                      // rectangle
    u"Зажмите кнопку мыши и проведите по снимку.",                                                      // ellipse
    u"Нажмите на снимок, чтобы поставить номер комментария.",                                           // comment
    u"Выделите прямоугольную область для размытия.",                                                     // blur
    u"Проведите линию размера с засечками. Числовое значение не добавляется.",                          // length
    u"Рисуйте свободно. ⌘ — ровная линия по горизонтали или вертикали.",                                // pencil
    u"Нажмите на снимок, введите текст и выберите размер.",                                             // text
    u"Поправьте рамку. Enter — применить кадрирование, Esc — отменить.",                                // crop
    u"Перемещайте исходную область и увеличенный овал. Угловые точки меняют размер увеличения.",        // magnifier
    u"Зажмите кнопку мыши и проведите по снимку.",                                                      // image
    u"Проведите рулетку. ⌘ — горизонталь или вертикаль; крайние точки меняют длину.",                   // ruler
    u"Рисуйте полупрозрачным цветом. ⌘ — горизонталь или вертикаль; повторный проход усиливает цвет.", // highlighter
    u"Выделите область с QR-кодом: содержимое скопируется в буфер, редактор закроется.",               // qr
};
constexpr const char16_t* objectBlurHint = u"Выделите объект прямоугольником с небольшим запасом.";

} // namespace

std::optional<QString> editorNotice(const EditorState& state)
{
    if (state.style().pickingColor())
        return QStringLiteral("Нажмите на цвет снимка. Esc — отменить.");
    if (state.qr().message())
        return state.qr().message();
    if (state.images().message())
        return state.images().message();
    return state.effects().message();
}

QString editorHint(const EditorState& state)
{
    if (auto notice = editorNotice(state))
        return *notice;
    const T tool = state.drawingTool();
    const BlurMode mode = state.style().blurMode();
    const bool objectBlur = mode == BlurMode::objectErase || mode == BlurMode::objectPixelate;
    const char16_t* hint = tool == T::blur && objectBlur ? objectBlurHint : hints[static_cast<std::size_t>(tool)];
    return platform::keyText(QStringView(hint));
}

} // namespace tarnwick
