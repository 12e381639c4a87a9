#include "editor/tools/TextEditorView.h"

#include "editor/model/EditorState.h"
#include "editor/tools/TextFontControls.h"
#include "editor/tools/TextPreviewView.h"
#include "editor/tools/ToolLook.h"
#include "panels/Theme.h"
#include "platform/KeyNames.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace tarnwick {

TextSwatch::TextSwatch(int index, QWidget* parent) : QAbstractButton(parent), index_(index)
{
    setFixedSize(26, 26);
    setAccessibleName(QStringLiteral("Цвет текста ") + QString::number(index + 1));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TextSwatch::setChosen(bool chosen)
{
    if (chosen_ == chosen)
        return;
    chosen_ = chosen;
    update();
}

void TextSwatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(3, 3, 20, 20);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::paletteColor(index_));
    painter.drawEllipse(disc);
    QColor ring = chosen_ ? QColor(Qt::white) : index_ == 5 ? QColor::fromRgbF(1, 1, 1, 0.3f) : QColor(Qt::transparent);
    painter.setPen(QPen(ring, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(disc);
}

Annotation TextEditorView::previewAnnotation(const EditorState& state)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = AnnotationTool::text;
    a.text = state.text().draft().isEmpty() ? QStringLiteral("Введите текст") : state.text().draft();
    a.colorIndex = state.style().colorIndex();
    a.customColor = state.style().customColor();
    a.fontSize = state.text().fontSize();
    a.textOutline = state.text().outline();
    a.textStyle = state.text().style();
    return a;
}

TextEditorView::TextEditorView(EditorState& state, QWidget* parent)
    : QWidget(parent), state_(state), text_(new QPlainTextEdit(this)), size_(new QSlider(Qt::Horizontal, this)),
      sizeLabel_(toolLook::label(QString(), 12, this)), previewArea_(new QScrollArea(this)),
      preview_(new TextPreviewView(previewAnnotation(state), previewArea_)),
      outline_(new QCheckBox(QStringLiteral("Чёрная обводка"), this)),
      cancel_(new QPushButton(QStringLiteral("Отмена"), this)), save_(new PrimaryButton(QString(), this))
{
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);

    QLabel* hint = toolLook::hint(QStringLiteral("Надпись появится прямо на изображении."), this);
    hint->setFont(toolLook::font(12));
    column->addWidget(hint);

    text_->setFont(toolLook::font(14));
    text_->setFixedHeight(120);
    text_->setFrameShape(QFrame::NoFrame);
    text_->document()->setDocumentMargin(8);
    column->addWidget(text_);

    fontControls_ = new TextFontControls({[this] { return state_.text().style(); },
                                          [this](const TextFontStyle& s) { state_.text().setStyle(s); }},
                                         this);
    column->addWidget(fontControls_->fontRow());
    column->addWidget(fontControls_->styleRow());

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(toolLook::label(QStringLiteral("Размер текста"), 12, this));
    size_->setRange(12, 144);
    size_->setSingleStep(1);
    size_->setAccessibleName(QStringLiteral("Размер текста"));
    sizeRow->addWidget(size_, 1);
    sizeLabel_->setFixedWidth(60);
    sizeLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sizeRow->addWidget(sizeLabel_);
    column->addLayout(sizeRow);

    auto* previewColumn = new QVBoxLayout;
    previewColumn->setSpacing(6);
    previewColumn->addWidget(toolLook::hint(QStringLiteral("Предпросмотр текста"), this));
    previewArea_->setFixedHeight(88); // the whole width of the form
    previewArea_->setFrameShape(QFrame::NoFrame);
    previewArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    previewArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette cardPalette = previewArea_->palette();
    cardPalette.setColor(QPalette::Window, Theme::card());
    previewArea_->viewport()->setPalette(cardPalette);
    previewArea_->viewport()->setAutoFillBackground(true);
    previewArea_->setWidget(preview_);
    previewColumn->addWidget(previewArea_);
    column->addLayout(previewColumn);

    outline_->setFont(toolLook::font(12));
    outline_->setAccessibleName(QStringLiteral("Чёрная обводка текста"));
    column->addWidget(outline_);

    colorRow_ = new QHBoxLayout;
    colorRow_->setSpacing(8);
    colorRow_->addWidget(toolLook::label(QStringLiteral("Цвет"), 12, this));
    for (int i = 0; i < 6; ++i) {
        swatches_[std::size_t(i)] = new TextSwatch(i, this);
        colorRow_->addWidget(swatches_[std::size_t(i)]);
        connect(swatches_[std::size_t(i)], &QAbstractButton::clicked, this, [this, i] { state_.style().setColor(i); });
    }
    colorRow_->addStretch(1);
    column->addLayout(colorRow_);

    auto* footer = new QHBoxLayout;
    QLabel* saveKey = toolLook::hint(platform::keyText(u"⌘↩ — сохранить"), this);
    saveKey->setWordWrap(false); // one line beside the buttons
    footer->addWidget(saveKey);
    footer->addStretch(1);
    footer->addWidget(cancel_);
    footer->addWidget(save_);
    column->addLayout(footer);

    // The design's width, wider only when the key hint and the buttons need more with the
    // longer of the save button's two titles.
    int footerWidth = 0;
    for (const QString& title : {QStringLiteral("Добавить"), QStringLiteral("Сохранить")}) {
        save_->setText(title);
        footer->invalidate(); // the layouts keep the sizes they measured before
        column->invalidate();
        footerWidth = std::max(footerWidth, column->totalMinimumSize().width());
    }
    setFixedWidth(std::max(formWidth, footerWidth));

    // The text field keeps the keyboard while the form is open: a click on a button, the slider,
    // the preview or a swatch must not take the letters the user goes on typing. The font list
    // is a window of its own, with its own search field.
    for (QWidget* control : findChildren<QWidget*>())
        if (control != text_ && !text_->isAncestorOf(control) && control->window() == window())
            control->setFocusPolicy(Qt::NoFocus);

    connect(text_, &QPlainTextEdit::textChanged, this, [this] { state_.text().setDraft(text_->toPlainText()); });
    connect(size_, &QSlider::valueChanged, this, [this](int v) { state_.text().setFontSize(v); });
    connect(outline_, &QCheckBox::toggled, this, [this](bool on) { state_.text().setOutline(on); });
    connect(cancel_, &QPushButton::clicked, this, [this] { state_.text().setOpen(false); });
    connect(save_, &QPushButton::clicked, this, &TextEditorView::save);
    // Qt also matches these keys in the open font list, a popup inside the form: there they act
    // on the list alone, as in any drop-down, and the draft stays.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] {
        if (!closeFontList())
            state_.text().setOpen(false);
    });
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* commit = new QShortcut(QKeySequence(Qt::CTRL | key), this, [this] {
            if (!closeFontList())
                save();
        });
        commit->setContext(Qt::WidgetWithChildrenShortcut);
    }
    connect(&state_, &EditorState::changed, this, &TextEditorView::refresh);
    refresh();
}

void TextEditorView::setCustomColorSlot(QWidget* slot)
{
    // After the six swatches, before the stretch.
    colorRow_->insertWidget(7, slot);
}

bool TextEditorView::closeFontList()
{
    if (!fontControls_->choosingFont())
        return false;
    fontControls_->setChoosingFont(false);
    return true;
}

void TextEditorView::save()
{
    // A blank draft cannot be saved; the button says so by being disabled.
    if (save_->isEnabled())
        state_.text().save();
}

void TextEditorView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    text_->setFocus(Qt::OtherFocusReason);
}

void TextEditorView::refresh()
{
    if (text_->toPlainText() != state_.text().draft()) {
        const QSignalBlocker block(text_);
        text_->setPlainText(state_.text().draft());
        text_->moveCursor(QTextCursor::End);
    }
    fontControls_->refresh();
    const double size = state_.text().fontSize();
    if (std::isfinite(size) && size_->value() != int(std::lround(size))) {
        const QSignalBlocker block(size_);
        size_->setValue(int(std::lround(std::clamp(size, 1.0, 1e4))));
    }
    sizeLabel_->setText(toolLook::pixelText(size));
    preview_->setAnnotation(previewAnnotation(state_));
    if (outline_->isChecked() != state_.text().outline()) {
        const QSignalBlocker block(outline_);
        outline_->setChecked(state_.text().outline());
    }
    for (int i = 0; i < 6; ++i)
        swatches_[std::size_t(i)]->setChosen(state_.style().colorIndex() == i);
    save_->setText(state_.text().editingID() ? QStringLiteral("Сохранить") : QStringLiteral("Добавить"));
    save_->setEnabled(!state_.text().draft().trimmed().isEmpty());
}

} // namespace tarnwick
