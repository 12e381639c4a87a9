#include "panels/PermissionCard.h"

#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

const QColor green(48, 209, 88);

QLabel* label(const QString& text, int pixels, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    return themedLabel(text, pixels, weight, parent, colour);
}

} // namespace

PermissionCard::PermissionCard(PermissionSetupModel& model, SetupPermission permission, QWidget* parent)
    : QFrame(parent), model_(model), permission_(permission)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);

    symbol_ = new QLabel(this);
    symbol_->setFixedWidth(30);
    symbol_->setAlignment(Qt::AlignCenter);
    row->addWidget(symbol_);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(label(title(permission), 14, QFont::DemiBold, palette().color(QPalette::WindowText), this));
    if (permission == SetupPermission::screen)
        heading->addWidget(label(QStringLiteral("Основной"), 10, QFont::Normal, Theme::muted(), this));
    heading->addStretch();
    texts->addLayout(heading);
    auto* about = label(description(permission), 12, QFont::Normal, Theme::muted(), this);
    about->setWordWrap(true);
    texts->addWidget(about);
    notice_ = label({}, 12, QFont::Normal, Theme::marker(), this);
    notice_->setWordWrap(true);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->hide();
    texts->addWidget(notice_);
    row->addLayout(texts, 1);

    grantedLabel_ = new QWidget(this);
    grantedLabel_->setFixedWidth(100);
    auto* granted = new QHBoxLayout(grantedLabel_);
    granted->setContentsMargins(0, 0, 0, 0);
    granted->setSpacing(4);
    auto* check = new QLabel(grantedLabel_);
    check->setPixmap(platform::symbolPixmap(u"circle-check", 11, green));
    granted->addStretch();
    granted->addWidget(check);
    granted->addWidget(label(QStringLiteral("Разрешено"), 11, QFont::Normal, green, grantedLabel_));
    granted->addStretch();
    row->addWidget(grantedLabel_);

    button_ = new QPushButton(this);
    button_->setFixedWidth(100);
    row->addWidget(button_);
    connect(button_, &QPushButton::clicked, this, [this] { model_.requestIndividually(permission_); });

    refresh();
}

void PermissionCard::refresh()
{
    const bool granted = model_.granted().contains(permission_);
    if (shownGranted_ != granted) {
        shownGranted_ = granted;
        symbol_->setPixmap(platform::symbolPixmap(symbol(permission_), 22, granted ? green : Theme::accent()));
    }
    grantedLabel_->setVisible(granted);
    button_->setVisible(!granted);
    const bool requested = model_.requested().contains(permission_);
    // No settings pane exists on X11: a second press says again what the server lacks.
    const QString text = requested ? QStringLiteral("Как включить") : QStringLiteral("Разрешить");
    if (button_->text() != text)
        button_->setText(text);
    button_->setAccessibleName(title(permission_) + QStringLiteral(": ") + text.toLower());
    button_->setEnabled(!model_.requesting());

    const QString notice = granted ? QString() : model_.notice(permission_);
    if (notice_->text() != notice)
        notice_->setText(notice);
    notice_->setVisible(!notice.isEmpty());

    const bool highlighted = model_.current() == permission_;
    if (highlighted != highlighted_) {
        highlighted_ = highlighted;
        update();
    }
}

void PermissionCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Theme::card());
    painter.setPen(highlighted_ ? QPen(Theme::accent(), 1) : Qt::NoPen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

} // namespace tarnwick
