#include "panels/FloatingPanelView.h"

#include "panels/ButtonMenu.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/PanelDragRegion.h"
#include "panels/PanelLook.h"
#include "panels/ShotStack.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"
#include "series/AppModel.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

constexpr int statusLines = 2;
constexpr int margin = 10;

// `text` broken into at most two lines of `width`, the second elided when more would follow.
QString fitToTwoLines(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == statusLines - 1) {
            const QString rest = text.mid(line.textStart());
            lines << QFontMetrics(font).elidedText(rest.simplified(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines.join(u'\n');
}

} // namespace

// The accent-free wide button that starts an area capture: "+ Новый снимок … Ctrl+2".
class NewShotButton : public QAbstractButton {
public:
    explicit NewShotButton(QWidget* parent) : QAbstractButton(parent)
    {
        setFixedHeight(28);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setFont(panelLook::font(10, QFont::DemiBold));
        plus_ = panelLook::symbol(u"plus", 10);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!isEnabled())
            painter.setOpacity(0.45);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
        painter.fillPath(shape, panelLook::white(1, isDown() ? 0.18 : 0.12));
        painter.strokePath(shape, QPen(panelLook::white(1, 0.1), 0.5));

        const QRect content = rect().adjusted(9, 0, -9, 0);
        const int icon = 10;
        plus_.paint(&painter, QRect(content.left(), content.center().y() - icon / 2 + 1, icon, icon));
        painter.setPen(panelLook::text());
        painter.drawText(content.adjusted(icon + 5, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
        painter.setPen(Theme::muted());
        painter.drawText(content, Qt::AlignVCenter | Qt::AlignRight, platform::keyText(u"⌘2"));
    }

private:
    QIcon plus_;
};

FloatingPanelView::FloatingPanelView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setAttribute(Qt::WA_StyledBackground, false);
    // The panel draws its own surface; its palette says it is dark to the menus, tips and
    // questions it opens.
    QPalette colours = Theme::darkPalette();
    colours.setColor(QPalette::WindowText, panelLook::text());
    colours.setColor(QPalette::Text, panelLook::text());
    colours.setColor(QPalette::ButtonText, panelLook::text());
    setPalette(colours);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(margin, margin, margin, margin);
    root->setSpacing(3);
    root->addStretch();
    root->addWidget(makeHeader());

    stack_ = new ShotStack(model_, this);
    root->addWidget(stack_);

    newShot_ = new NewShotButton(this);
    connect(newShot_, &QAbstractButton::clicked, this, [this] {
        if (model_.captureAction)
            model_.captureAction();
    });
    root->addWidget(newShot_);

    status_ = new QLabel(this);
    status_->setFont(panelLook::font(9));
    // Two lines at most; longer texts are elided and read whole in the tool tip.
    status_->setText(QStringLiteral("1\n2"));
    status_->setFixedHeight(status_->sizeHint().height());
    status_->setAlignment(Qt::AlignCenter);
    QPalette mutedText = status_->palette();
    mutedText.setColor(QPalette::WindowText, Theme::muted());
    status_->setPalette(mutedText);
    root->addWidget(status_);

    screenAccess_ = new QPushButton(QStringLiteral("Доступ к экрану…"), this);
    screenAccess_->setFixedHeight(22);
    screenAccess_->setFlat(true);
    screenAccess_->setFocusPolicy(Qt::NoFocus);
    screenAccess_->setFont(panelLook::font(10));
    screenAccess_->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; color: %1; }")
                                     .arg(Theme::accent().name()));
    connect(screenAccess_, &QPushButton::clicked, this, [this] {
        if (model_.capabilityAction)
            model_.capabilityAction(platform::Capability::screen);
    });
    root->addWidget(screenAccess_);
    root->addStretch();

    connect(&model_, &AppModel::changed, this, &FloatingPanelView::scheduleRefresh);
    refresh();
}

QMessageBox& FloatingPanelView::clearConfirmation()
{
    if (confirmation_)
        return *confirmation_;
    // Built when first asked: its warning icon is drawn at construction, at every start otherwise.
    confirmation_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tarnwick"),
                                    QStringLiteral("Очистить текущую серию?"), QMessageBox::NoButton, this);
    confirmation_->setInformativeText(QStringLiteral(
        "Снимки и разметка будут удалены из памяти. Уже подготовленная вставка останется в буфере."));
    QPushButton* cancel = confirmation_->addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    confirmClear_ = confirmation_->addButton(QStringLiteral("Очистить"), QMessageBox::DestructiveRole);
    // Return and Escape keep the series.
    confirmation_->setDefaultButton(cancel);
    confirmation_->setEscapeButton(cancel);
    Theme::giveRoom(*confirmation_);
    connect(confirmation_, &QDialog::finished, this, [this] {
        const bool clear = confirmation_->clickedButton() == confirmClear_;
        model_.setConfirmClear(false);
        if (clear)
            model_.clear(false);
    });
    return *confirmation_;
}

QWidget* FloatingPanelView::makeHeader()
{
    auto* header = new QWidget(this);
    header->setFixedHeight(20);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);

    // The title area is the drag handle; its labels let the mouse through to it.
    dragRegion_ = new PanelDragRegion(header);
    dragRegion_->setToolTip(QStringLiteral("Перетащите, чтобы переместить окно"));
    auto* title = new QHBoxLayout(dragRegion_);
    title->setContentsMargins(0, 0, 0, 0);
    title->setSpacing(5);
    auto* name = new QLabel(QStringLiteral("Tarnwick"), dragRegion_);
    name->setFont(panelLook::font(12, QFont::DemiBold));
    count_ = new QLabel(dragRegion_);
    count_->setFont(panelLook::font(9, QFont::Medium));
    QPalette mutedText = count_->palette();
    mutedText.setColor(QPalette::WindowText, Theme::muted());
    count_->setPalette(mutedText);
    for (QLabel* label : {name, count_}) {
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        title->addWidget(label);
    }
    title->addStretch();
    row->addWidget(dragRegion_, 1);

    menu_ = new FloatingPanelMenu(model_, this);
    menuButton_ = new QToolButton(header);
    attachMenu(*menuButton_, *menu_);
    menuButton_->setIcon(panelLook::symbol(u"ellipsis", 12));
    menuButton_->setIconSize(QSize(12, 12));
    menuButton_->setFixedSize(18, 20);
    menuButton_->setFocusPolicy(Qt::NoFocus);
    menuButton_->setToolTip(QStringLiteral("Снимки, передача и настройки"));
    menuButton_->setStyleSheet(QStringLiteral(
        "QToolButton { border: none; background: transparent; } QToolButton::menu-indicator { image: none; width: 0; }"));
    row->addWidget(menuButton_);

    hide_ = new QToolButton(header);
    hide_->setIcon(panelLook::symbol(u"minus", 10));
    hide_->setIconSize(QSize(10, 10));
    hide_->setFixedSize(20, 20);
    hide_->setFocusPolicy(Qt::NoFocus);
    hide_->setToolTip(QStringLiteral("Свернуть окно — Tarnwick останется в трее"));
    hide_->setAccessibleName(QStringLiteral("Свернуть окно"));
    hide_->setStyleSheet(
        QStringLiteral("QToolButton { border: none; border-radius: 10px; background: rgba(255, 255, 255, 18); }"));
    connect(hide_, &QToolButton::clicked, this, [this] {
        if (model_.hideAction)
            model_.hideAction();
    });
    row->addWidget(hide_);
    return header;
}

QAbstractButton& FloatingPanelView::hideButton() const { return *hide_; }
QAbstractButton& FloatingPanelView::newShotButton() const { return *newShot_; }

void FloatingPanelView::scheduleRefresh()
{
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(this, &FloatingPanelView::refresh, Qt::QueuedConnection);
}

void FloatingPanelView::refresh()
{
    refreshPending_ = false;
    const qsizetype shots = model_.shots().size();
    const bool full = shots >= AppModel::maximumShots;
    count_->setText(QString::number(shots));
    newShot_->setText(model_.busy() ? QStringLiteral("Подготовка…") : QStringLiteral("Новый снимок"));
    newShot_->setEnabled(!model_.busy() && !full);
    const QString status = full ? QStringLiteral("Серия заполнена — вставьте её") : model_.status();
    const int statusWidth = FloatingPanel::panelWidth - 2 * margin;
    const QString shown = fitToTwoLines(status, status_->font(), statusWidth);
    status_->setText(shown);
    status_->setToolTip(QString(shown).replace(u'\n', u' ') == status.simplified() ? QString() : status);
    status_->setVisible(!model_.screenPermissionRequired());
    screenAccess_->setVisible(model_.screenPermissionRequired());
    setToolTip(model_.status());
    stack_->refresh();
    menu_->refresh();
    askToClear();
}

void FloatingPanelView::askToClear()
{
    if (model_.confirmClear() && !hidden_ && !clearConfirmation().isVisible()) {
        // Each time anew: the focus a last Tab left on "Очистить" would make Return clear.
        confirmation_->setDefaultButton(qobject_cast<QPushButton*>(confirmation_->escapeButton()));
        confirmation_->open();
    } else if (!model_.confirmClear() && confirmation_ && confirmation_->isVisible()) {
        confirmation_->reject();
    }
}

void FloatingPanelView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // The question goes with the panel: left on the screen, a capture would take it into the
    // shot, and the panel, shown again above every window, would cover its buttons.
    hidden_ = true;
    if (confirmation_ && confirmation_->isVisible())
        confirmation_->hide();
}

void FloatingPanelView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    hidden_ = false;
    // Asked again once the panel is mapped, so that the window manager keeps it above the panel.
    scheduleRefresh();
}

void FloatingPanelView::paintEvent(QPaintEvent*)
{
    // Drawn once per size and scale: the gradient drawn again for a part of the panel (a button
    // losing its hover look) came out a shade off the rest.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (surface_.size() != pixels || surface_.devicePixelRatio() != ratio) {
        surface_ = QPixmap(pixels);
        surface_.setDevicePixelRatio(ratio);
        surface_.fill(Qt::transparent);
        QPainter painter(&surface_);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()), 16, 16);
        QLinearGradient ground(rect().topLeft(), rect().bottomRight());
        ground.setColorAt(0, panelLook::white(0.2));
        ground.setColorAt(1, panelLook::white(0.12));
        painter.fillPath(card, ground);
        QPainterPath edge;
        edge.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 16, 16);
        painter.strokePath(edge, QPen(panelLook::white(1, 0.15), 0.5));
    }
    QPainter(this).drawPixmap(0, 0, surface_);
}

} // namespace tarnwick
