#include "editor/window/EditorCommentsPanel.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorChrome.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

QLabel* textLabel(const QString& text, int pixels, QWidget* parent, bool muted, QFont::Weight weight = QFont::Normal)
{
    QLabel* label = themedLabel(text, pixels, weight, parent, muted ? std::optional(Theme::muted()) : std::nullopt);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QToolButton* quietButton(const char16_t* symbol, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(platform::symbolIcon(QStringView(symbol), Theme::muted()));
    button->setIconSize(QSize(12, 12));
    button->setAutoRaise(true);
    button->setFixedSize(20, 20);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QColor withAlpha(QColor colour, float alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

} // namespace

EditorCommentsPanel::EditorCommentsPanel(EditorState& state, std::function<void()> close, QWidget* parent)
    : QWidget(parent), state_(state), closePanel_(std::move(close))
{
    setFixedWidth(width);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 17, 17, 17); // the leading hairline takes one point
    column->setSpacing(14);

    auto* title = new QHBoxLayout;
    title->addWidget(textLabel(QStringLiteral("Комментарии"), 13, this, false, QFont::DemiBold));
    count_ = textLabel(QStringLiteral("0"), 11, this, true);
    title->addWidget(count_);
    title->addStretch(1);
    close_ = quietButton(u"x", this);
    close_->setAccessibleName(QStringLiteral("Скрыть комментарии"));
    connect(close_, &QToolButton::clicked, this, [this] {
        if (closePanel_)
            closePanel_();
    });
    title->addWidget(close_);
    column->addLayout(title);

    column->addWidget(textLabel(QStringLiteral("На снимке — номер, текст отдельно."), 11, this, true));
    auto* divider = new QWidget(this);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette line = divider->palette();
    line.setColor(QPalette::Window, QColor::fromRgbF(1, 1, 1, 0.12f));
    divider->setPalette(line);
    column->addWidget(divider);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The bar shows only when the comments overflow: an empty bar beside one comment looks broken.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    list_ = new QVBoxLayout(content);
    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(10);

    empty_ = new QWidget(content);
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setContentsMargins(0, 28, 0, 28);
    emptyColumn->setSpacing(10);
    auto* symbol = new QLabel(empty_);
    symbol->setPixmap(platform::symbolPixmap(u"message-square-text", 24, Theme::muted()));
    symbol->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(symbol);
    auto* none = textLabel(QStringLiteral("Пока нет комментариев"), 12, empty_, false);
    none->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(none);
    auto* how = textLabel(QStringLiteral("Выберите инструмент комментария и нажмите на снимок."), 11, empty_, true);
    how->setAlignment(Qt::AlignCenter);
    how->setWordWrap(true);
    emptyColumn->addWidget(how);
    list_->addWidget(empty_);
    list_->addStretch(1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);

    add_ = new QPushButton(platform::symbolIcon(u"message-square-plus", QColor::fromRgbF(0.94f, 0.94f, 0.94f)),
                           QStringLiteral("Добавить комментарий"), this);
    add_->setFont(Theme::font(12));
    add_->setFocusPolicy(Qt::NoFocus);
    add_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(add_, &QPushButton::clicked, this, &EditorCommentsPanel::addComment);
    column->addWidget(add_);

    refresh();
}

QList<EditorCommentRow*> EditorCommentsPanel::rows() const
{
    QList<EditorCommentRow*> out;
    for (const QUuid& id : order_)
        out << rows_.value(id);
    return out;
}

void EditorCommentsPanel::refresh()
{
    QList<QUuid> order;
    QVector<Annotation> comments;
    for (const Annotation& a : state_.effectiveAnnotations())
        if (a.kind == AnnotationTool::comment) {
            order << a.id;
            comments << a;
        }
    // Rows of comments that are gone go; new comments get a row; the rest are kept.
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (!order.contains(it.key())) {
            delete it.value();
            it = rows_.erase(it);
        } else {
            ++it;
        }
    }
    if (order != order_) {
        for (qsizetype i = 0; i < order.size(); ++i) {
            EditorCommentRow*& row = rows_[order[i]];
            if (!row)
                row = new EditorCommentRow(state_, order[i], list_->parentWidget());
            list_->removeWidget(row);
            list_->insertWidget(static_cast<int>(i) + 1, row); // after the empty state
        }
        order_ = order;
    }
    for (qsizetype i = 0; i < comments.size(); ++i)
        rows_[comments[i].id]->display(state_.label() + QString::number(i + 1), comments[i].text,
                                    state_.selectedID() == comments[i].id);
    count_->setText(QString::number(comments.size()));
    empty_->setVisible(comments.isEmpty());
}

void EditorCommentsPanel::addComment()
{
    QPointF point;
    if (auto selected = state_.selectedAnnotation())
        point = selected->start;
    else
        point = state_.cropRect().value_or(state_.canvasRect()).center();
    state_.comment().request(point, std::nullopt);
}

void EditorCommentsPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), EditorChrome::rail());
    painter.fillRect(QRect(0, 0, 1, height()), EditorChrome::border());
}

EditorCommentRow::EditorCommentRow(EditorState& state, const QUuid& id, QWidget* parent)
    : QWidget(parent), state_(state), id_(id)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(9);
    auto* first = new QHBoxLayout;
    badge_ = new QLabel(this);
    QFont mono = Theme::font(11, QFont::DemiBold);
    mono.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    badge_->setFont(mono);
    const QColor marker = Theme::marker();
    badge_->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border-radius: 5px; padding: 4px 6px; }")
                              .arg(marker.name(QColor::HexRgb), withAlpha(marker, 0.12f).name(QColor::HexArgb)));
    first->addWidget(badge_);
    first->addStretch(1);
    edit_ = quietButton(u"pencil", this);
    delete_ = quietButton(u"x", this);
    first->addWidget(edit_);
    first->addWidget(delete_);
    column->addLayout(first);
    text_ = textLabel(QString(), 12, this, false);
    text_->setWordWrap(true);
    column->addWidget(text_);

    connect(edit_, &QToolButton::clicked, this, [this] {
        for (const Annotation& a : state_.annotations())
            if (a.id == id_) {
                state_.comment().request(a.start, id_);
                return;
            }
    });
    connect(delete_, &QToolButton::clicked, this, [this] { state_.remove(id_); });
}

void EditorCommentRow::display(const QString& badge, const QString& text, bool selected)
{
    if (badge_->text() != badge) {
        badge_->setText(badge);
        edit_->setAccessibleName(QStringLiteral("Изменить комментарий ") + badge);
        delete_->setAccessibleName(QStringLiteral("Удалить комментарий ") + badge);
    }
    if (text_->text() != text)
        text_->setText(text);
    if (selected_ != selected) {
        selected_ = selected;
        update();
    }
}

QString EditorCommentRow::badge() const { return badge_->text(); }
QString EditorCommentRow::text() const { return text_->text(); }

void EditorCommentRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
    painter.fillPath(shape, QColor::fromRgbF(1, 1, 1, 0.035f));
    if (selected_)
        painter.strokePath(shape, QPen(withAlpha(Theme::accent(), 0.6f), 1));
}

// Taking the press makes the row, not the panel behind it, receive the release.
void EditorCommentRow::mousePressEvent(QMouseEvent* event) { event->accept(); }

void EditorCommentRow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    state_.setTool(AnnotationTool::select);
    state_.setSelectedID(id_);
    state_.style().syncToSelection();
}

} // namespace tarnwick
