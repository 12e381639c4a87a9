#include "editor/window/EditorView.h"

#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/tools/EditorImageCornerControl.h"
#include "editor/tools/EditorSupplementalControls.h"
#include "editor/tools/EditorToolDetails.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorChrome.h"
#include "editor/window/EditorCommentSheet.h"
#include "editor/window/EditorCommentsPanel.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorNotices.h"
#include "editor/window/EditorSaveControls.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"
#include "series/AppModel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

// The footer and the canvas row paint their own backgrounds and hairlines.
class Bar : public QWidget {
public:
    Bar(QColor fill, bool topLine, QWidget* parent) : QWidget(parent), fill_(fill), topLine_(topLine) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), fill_);
        if (topLine_)
            painter.fillRect(QRect(0, 0, width(), 1), EditorChrome::border());
    }

private:
    QColor fill_;
    bool topLine_;
};

void setForeground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, colour);
    widget->setPalette(palette);
}

qsizetype commentCount(const EditorState& state)
{
    qsizetype n = 0;
    for (const Annotation& a : state.effectiveAnnotations())
        n += a.kind == AnnotationTool::comment;
    return n;
}

QPushButton* footerButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0 4px; color: %1; }").arg(Theme::muted().name()));
    return button;
}

} // namespace

EditorView::EditorView(EditorState& state, AppModel* exportModel, EditorHeaderActions actions, QWidget* parent)
    : QWidget(parent), state_(state), seenTool_(state.tool()), seenSelection_(state.selectedID()),
      seenComments_(commentCount(state))
{
    setPalette(Theme::darkPalette());
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    header_ = new EditorHeader(state, exportModel, std::move(actions), this);
    stack->addWidget(header_);

    auto* row = new Bar(QColor::fromRgbF(0.07f, 0.07f, 0.07f), false, this);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);
    canvasArea_ = new QWidget(row);
    canvasArea_->installEventFilter(this);
    canvasSlot_ = new QVBoxLayout(canvasArea_);
    canvasSlot_->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(canvasArea_, 1);

    notice_ = new QLabel(canvasArea_);
    notice_->setFont(Theme::font(11));
    notice_->setWordWrap(true);
    notice_->setMaximumWidth(320);
    notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice_->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border-radius: 8px; padding: 10px; }")
                               .arg(Theme::muted().name(), EditorChrome::floating().name()));
    notice_->hide();

    commentsButton_ = new QToolButton(canvasArea_);
    commentsButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    commentsButton_->setFont(Theme::font(11));
    commentsButton_->setFocusPolicy(Qt::NoFocus);
    commentsButton_->setAccessibleName(QStringLiteral("Показать комментарии"));
    connect(commentsButton_, &QToolButton::clicked, this, [this] { setCommentsVisible(!commentsVisible_); });

    panel_ = new EditorCommentsPanel(state, [this] { setCommentsVisible(false); }, row);
    panel_->hide();
    rowLayout->addWidget(panel_);
    stack->addWidget(row, 1);

    footer_ = buildFooter();
    stack->addWidget(footer_);

    sheet_ = new EditorCommentSheet(state, this);

    // Over everything else; the orientation is remembered for later editors.
    verticalToolbar_ = exportModel && exportModel->editorVerticalToolbar();
    toolbar_ = new EditorFloatingToolbar(state, this, [this, model = QPointer<AppModel>(exportModel)](bool vertical) {
        if (model)
            model->setEditorVerticalToolbar(vertical);
        setVerticalToolbar(vertical);
    });
    toolbar_->setVertical(verticalToolbar_);
    connect(toolbar_, &EditorFloatingToolbar::placed, this, &EditorView::placeOverlays);
    // The tool panels sit on the toolbar: details in the settings popover, the option strip and
    // the corner capsule beside the bar.
    toolbar_->controls()->setDetailsContent([](EditorState& s) { return new EditorToolDetails(s); });
    auto* options = new EditorSupplementalControls(state, this);
    options->setSurface(EditorChrome::floating());
    toolbar_->setSupplementalControls(options, [options] { return options->hasContent(); });
    auto* corner = new EditorImageCornerControl(state, this);
    corner->setSurface(EditorChrome::floating());
    toolbar_->setCornerControl(corner);

    connect(&state, &EditorState::changed, this, &EditorView::refresh);
    refresh();
}

QWidget* EditorView::buildFooter()
{
    auto* footer = new Bar(EditorChrome::bar(), true, this);
    footer->setFixedHeight(24);
    footer->setFont(Theme::font(10));
    setForeground(footer, Theme::muted());
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(15, 1, 15, 0);
    row->setSpacing(8);
    size_ = new QLabel(footer);
    row->addWidget(size_);
    row->addSpacing(12);
    row->addStretch(1);
    fit_ = footerButton(QStringLiteral("Вписать"), footer);
    fit_->setToolTip(platform::keyText(u"Вписать снимок в холст · ⌘0"));
    fit_->setAccessibleName(QStringLiteral("Вписать снимок"));
    connect(fit_, &QPushButton::clicked, this, &EditorView::resetZoom);
    row->addWidget(fit_);
    zoomOut_ = new CanvasZoomButton(0.5, footer);
    zoomOut_->setFixedSize(22, 22);
    row->addWidget(zoomOut_);
    percent_ = footerButton(QString(), footer);
    QFont digits = Theme::font(10);
    digits.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    percent_->setFont(digits);
    percent_->setMinimumWidth(36);
    percent_->setToolTip(platform::keyText(u"Вернуть 100% · ⌘0"));
    percent_->setAccessibleName(QStringLiteral("Сбросить масштаб"));
    connect(percent_, &QPushButton::clicked, this, &EditorView::resetZoom);
    row->addWidget(percent_);
    zoomIn_ = new CanvasZoomButton(2.0, footer);
    zoomIn_->setFixedSize(22, 22);
    row->addWidget(zoomIn_);
    return footer;
}

void EditorView::setCanvas(ImageCanvasView* canvas)
{
    if (canvas_)
        canvasSlot_->removeWidget(canvas_);
    canvas_ = canvas;
    if (canvas) {
        canvas->setParent(canvasArea_);
        canvasSlot_->addWidget(canvas);
        notice_->raise();
        commentsButton_->raise();
    }
    refresh();
}

QMargins EditorView::canvasInsets() const
{
    if (verticalToolbar_)
        return {68, 0, 0, 0};
    return {0, 0, 0, commentsVisible_ ? 128 : 80};
}

void EditorView::setCommentsVisible(bool visible)
{
    if (commentsVisible_ == visible)
        return;
    commentsVisible_ = visible;
    refresh();
}

void EditorView::setVerticalToolbar(bool vertical)
{
    if (verticalToolbar_ == vertical)
        return;
    verticalToolbar_ = vertical;
    toolbar_->setVertical(vertical);
    refresh();
}

void EditorView::resetZoom() { state_.setNavigation(CanvasNavigation{}); }

void EditorView::followComments()
{
    const qsizetype comments = commentCount(state_);
    if (state_.tool() != seenTool_ && state_.tool() == AnnotationTool::comment)
        commentsVisible_ = true;
    if (state_.selectedID() != seenSelection_) {
        const auto selected = state_.selectedAnnotation();
        if (selected && selected->kind == AnnotationTool::comment)
            commentsVisible_ = true;
    }
    if (comments != seenComments_ && comments >= 1)
        commentsVisible_ = true;
    seenTool_ = state_.tool();
    seenSelection_ = state_.selectedID();
    seenComments_ = comments;
}

void EditorView::refresh()
{
    followComments();
    const bool busy = state_.text().isOpen() || state_.images().capturing();
    header_->setEnabled(!busy);
    footer_->setEnabled(!busy);
    header_->refresh();
    if (canvas_) {
        canvas_->setEnabled(!state_.images().capturing() && (!state_.text().isOpen() || state_.style().pickingColor()));
        const QMargins insets = canvasInsets();
        canvas_->setInsets(insets.bottom(), insets.left());
    }

    // Notice bubble and the footer's hint.
    const std::optional<QString> notice = editorNotice(state_);
    if (notice && notice_->text() != *notice)
        notice_->setText(*notice);
    notice_->setVisible(notice.has_value());
    footer_->setToolTip(editorHint(state_));

    // Comments button and panel.
    const qsizetype comments = commentCount(state_);
    const QColor tint = commentsVisible_ ? Theme::accent() : Theme::muted();
    commentsButton_->setText(QStringLiteral("Комментарии · %1").arg(comments));
    if (commentsButton_->property("tint").value<QColor>() != tint) {
        commentsButton_->setProperty("tint", tint);
        commentsButton_->setIcon(platform::symbolIcon(u"message-square-text", tint));
        commentsButton_->setStyleSheet(
            QStringLiteral("QToolButton { color: %1; background: %2; border: 1px solid %3; border-radius: 8px; padding: 7px 10px; }")
                .arg(tint.name(), EditorChrome::floating().name(), EditorChrome::border().name(QColor::HexArgb)));
    }
    commentsButton_->setEnabled(!busy);
    panel_->setVisible(commentsVisible_);
    panel_->setEnabled(!busy);
    if (commentsVisible_)
        panel_->refresh();

    // Footer read-outs.
    const QRectF frame = state_.cropRect().value_or(state_.canvasRect());
    size_->setText(QStringLiteral("%1 · %2 × %3 px")
                       .arg(state_.label())
                       .arg(static_cast<qlonglong>(frame.width()))
                       .arg(static_cast<qlonglong>(frame.height())));
    percent_->setText(QStringLiteral("%1%").arg(std::lround(state_.navigation().zoom * 100)));

    sheet_->refresh();
    toolbar_->setEnabled(!busy);
    toolbar_->setCommentsShown(commentsVisible_);
    placeOverlays();
}

void EditorView::placeOverlays()
{
    commentsButton_->adjustSize();
    commentsButton_->move(canvasArea_->width() - commentsButton_->width() - 12, 12);
    if (notice_->isVisible()) {
        // As wide as its text on one line, up to its maximum, then as tall as the wrapped text needs
        // (adjustSize() would wrap a short notice at half that width).
        notice_->setWordWrap(false);
        const int width = std::min(notice_->maximumWidth(), notice_->sizeHint().width());
        notice_->setWordWrap(true);
        notice_->resize(width, notice_->heightForWidth(width));
        QPoint at(12, 50);
        if (verticalToolbar_) {
            // Right of the column and below the pieces standing beside it, so no word hides under them.
            const QRect column(canvasArea_->mapFrom(this, toolbar_->surface()->pos()), toolbar_->surface()->size());
            at.setX(column.right() + 1 + 12);
            if (const QRect beside = toolbar_->contextBox(); !beside.isEmpty())
                at.setY(std::max(at.y(), canvasArea_->mapFrom(this, beside.bottomLeft()).y() + 1 + 8));
        }
        notice_->move(at);
    }
}

bool EditorView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == canvasArea_ && event->type() == QEvent::Resize)
        placeOverlays();
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnwick
