#include "recording/review/RecordingTimelineTimeEditor.h"

#include "panels/Theme.h"
#include "recording/review/RecordingTimelineTime.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {

RecordingTimelineTimeEditor::RecordingTimelineTimeEditor(const QString& title, const QString& text,
                                                         std::function<void(double)> commit, QWidget* parent)
    : QWidget(parent, Qt::Popup), commit_(std::move(commit))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    setMinimumWidth(270);

    auto* heading = new QLabel(title, this);
    heading->setFont(Theme::font(12, QFont::DemiBold));
    field_ = new QLineEdit(text, this);
    field_->setPlaceholderText(QStringLiteral("ММ:СС.000 или секунды"));
    hint_ = new QLabel(QStringLiteral("ММ:СС.000 · точность 1 мс"), this);
    hint_->setFont(Theme::font(10));
    hint_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::muted().name()));
    auto* done = new QPushButton(QStringLiteral("Готово"), this);
    done->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(hint_);
    row->addStretch(1);
    row->addWidget(done);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(9);
    column->addWidget(heading);
    column->addWidget(field_);
    column->addLayout(row);
    // As large as its texts: the orange hint is longer than the grey one it replaces.
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(field_, &QLineEdit::returnPressed, this, &RecordingTimelineTimeEditor::submit);
    connect(done, &QPushButton::clicked, this, &RecordingTimelineTimeEditor::submit);
}

void RecordingTimelineTimeEditor::submit()
{
    std::optional<double> seconds = RecordingTimelineTime::parse(field_->text());
    if (!seconds) {
        invalid_ = true;
        hint_->setText(QStringLiteral("Проверьте формат времени"));
        hint_->setStyleSheet(QStringLiteral("color: %1").arg(QColor(255, 159, 10).name()));
        adjustSize();
        keepOnScreen();
        return;
    }
    if (commit_)
        commit_(*seconds);
}

void RecordingTimelineTimeEditor::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void RecordingTimelineTimeEditor::keepOnScreen()
{
    const QScreen* shown = screen();
    if (!shown)
        return;
    const QRect area = shown->availableGeometry();
    QRect place = geometry();
    place.moveRight(std::min(place.right(), area.right()));
    place.moveLeft(std::max(place.left(), area.left()));
    place.moveBottom(std::min(place.bottom(), area.bottom()));
    place.moveTop(std::max(place.top(), area.top()));
    move(place.topLeft());
}

void RecordingTimelineTimeEditor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    keepOnScreen();
    field_->setFocus();
    field_->selectAll();
}

} // namespace tarnwick
