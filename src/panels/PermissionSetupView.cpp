#include "panels/PermissionSetupView.h"

#include "panels/PermissionCard.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/RoomScrollArea.h"
#include "platform/WindowPlacement.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

QLabel* label(int pixels, QFont::Weight weight, bool muted, QWidget* parent)
{
    return themedLabel({}, pixels, weight, parent, muted ? std::optional(Theme::muted()) : std::nullopt);
}

void setText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

} // namespace

PermissionSetupView::PermissionSetupView(PermissionSetupModel& model, std::function<void()> onClose,
                                         std::function<void()> onRefresh, QWidget* parent)
    : QWidget(parent), model_(model), onClose_(std::move(onClose)), onRefresh_(std::move(onRefresh))
{
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    // On a low screen the content scrolls, its buttons with it.
    content_ = new QWidget;
    content_->setFixedWidth(fixedWidth);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->addWidget(new platform::RoomScrollArea(content_));

    auto* root = new QVBoxLayout(content_);
    root->setContentsMargins(24, 24, 24, 24);
    root->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* shield = new QLabel(this);
    shield->setPixmap(platform::symbolPixmap(u"shield-check", 30, Theme::accent()));
    header->addWidget(shield);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    auto* heading = label(23, QFont::DemiBold, false, this);
    heading->setText(QStringLiteral("Настроим Tarnwick"));
    titles->addWidget(heading);
    auto* subtitle = label(13, QFont::Normal, true, this);
    subtitle->setText(QStringLiteral("Все разрешения — в одном месте"));
    titles->addWidget(subtitle);
    header->addLayout(titles);
    header->addStretch();
    count_ = label(16, QFont::DemiBold, true, this);
    header->addWidget(count_);
    root->addLayout(header);

    explanation_ = label(13, QFont::Normal, true, this);
    explanation_->setWordWrap(true);
    root->addWidget(explanation_);

    auto* cards = new QVBoxLayout;
    cards->setSpacing(10);
    for (SetupPermission p : allCases<SetupPermission>()) {
        cards_[static_cast<std::size_t>(p)] = new PermissionCard(model_, p, this);
        cards->addWidget(card(p));
    }
    root->addLayout(cards);

    note_ = label(12, QFont::Normal, true, this);
    note_->setWordWrap(true);
    root->addWidget(note_);

    auto* buttons = new QHBoxLayout;
    closeButton_ = new QPushButton(this);
    connect(closeButton_, &QPushButton::clicked, this, [this] {
        if (onClose_)
            onClose_();
    });
    buttons->addWidget(closeButton_);
    buttons->addStretch();
    refreshButton_ = new QPushButton(QStringLiteral("Обновить статус"), this);
    refreshButton_->setAccessibleName(QStringLiteral("Обновить статус разрешений"));
    connect(refreshButton_, &QPushButton::clicked, this, [this] {
        if (onRefresh_)
            onRefresh_();
        else
            model_.refresh();
    });
    buttons->addWidget(refreshButton_);
    primary_ = new PrimaryButton(QString(), this);
    primary_->setAccessibleName(QStringLiteral("Настройка всех разрешений"));
    connect(primary_, &QPushButton::clicked, this, &PermissionSetupView::mainAction);
    buttons->addWidget(primary_);
    root->addLayout(buttons);

    connect(&model_, &PermissionSetupModel::changed, this, &PermissionSetupView::scheduleRefresh);
    refresh();
}

void PermissionSetupView::scheduleRefresh()
{
    if (refreshQueued_)
        return;
    refreshQueued_ = true;
    QMetaObject::invokeMethod(this, &PermissionSetupView::refresh, Qt::QueuedConnection);
}

void PermissionSetupView::refresh()
{
    refreshQueued_ = false;
    const bool all = model_.allGranted();
    setText(count_, QStringLiteral("%1/3").arg(model_.granted().size()));
    setText(explanation_, all ? QStringLiteral("Все разрешения уже выданы. Здесь можно проверить их статус после "
                                               "изменения настроек X-сервера.")
                              : QStringLiteral("Нажмите «Настроить все разрешения». Tarnwick проверит, что позволяет "
                                               "X-сервер, и под каждой недоступной возможностью назовёт, какого "
                                               "расширения не хватает и как его включить."));
    for (PermissionCard* card : cards_)
        card->refresh();
    setText(note_, all ? QStringLiteral("Всё готово — можно делать снимки и вставлять серию с комментариями.")
                       : QStringLiteral("Статус обновляется автоматически каждую секунду. Можно нажать "
                                        "«Обновить статус». Расширения RECORD и XTEST X-сервер включает при запуске: "
                                        "перед перезапуском сеанса сначала сохраните серию. Остальные доступы можно "
                                        "настроить кнопкой «Следующий доступ»."));
    const QString close = all ? QStringLiteral("Закрыть") : QStringLiteral("Продолжить позже");
    if (closeButton_->text() != close)
        closeButton_->setText(close);
    refreshButton_->setEnabled(!model_.requesting());
    if (primary_->text() != model_.primaryTitle()) {
        primary_->setText(model_.primaryTitle());
        primary_->updateGeometry();
    }
    primary_->setEnabled(!model_.requesting());
    // The width is the design's unless the buttons' texts need more; the height follows the texts
    // (a notice may have appeared) at that width.
    if (QLayout* root = content_->layout()) {
        const int width = std::max(fixedWidth, root->totalMinimumSize().width());
        const int height = root->totalHeightForWidth(width);
        content_->setFixedSize(width, height);
        platform::WindowPlacement::of(*this).ask(QSize(width, height));
    }
}

void PermissionSetupView::keyPressEvent(QKeyEvent* event)
{
    // Escape is the window's cancel key, like the left button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        closeButton_->click();
    else
        QWidget::keyPressEvent(event);
}

void PermissionSetupView::mainAction()
{
    if (model_.allGranted()) {
        if (onClose_)
            onClose_();
        return;
    }
    if (model_.requesting())
        return;
    model_.refresh();
    model_.setGuided(true);
    model_.requestNext();
}

} // namespace tarnwick
