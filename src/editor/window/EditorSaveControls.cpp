#include "editor/window/EditorSaveControls.h"

#include "editor/window/EditorExportWindow.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"
#include "series/AppModel.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {
namespace {

QIcon floppyIcon()
{
    const auto draw = [](QColor colour) {
        QPixmap pixmap(QSize(32, 32));
        pixmap.setDevicePixelRatio(2);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(FloppyDiskIcon::path(QRectF(0.75, 0.75, 14.5, 14.5)));
        return pixmap;
    };
    QIcon icon;
    icon.addPixmap(draw(QColor::fromRgbF(0.94f, 0.94f, 0.94f)), QIcon::Normal);
    icon.addPixmap(draw(QColor::fromRgbF(0.45f, 0.45f, 0.45f)), QIcon::Disabled);
    return icon;
}

} // namespace

EditorSaveControls::EditorSaveControls(AppModel* model, std::function<void()> onSave, std::function<void()> onChooseDirectory,
                                       QWidget* parent)
    : QWidget(parent), onSave_(std::move(onSave)), onChooseDirectory_(std::move(onChooseDirectory)),
      save_(new QToolButton(this)), folder_(new QToolButton(this)), menu_(new QMenu(this)),
      path_(new QAction(menu_)), choose_(new QAction(menu_))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);

    save_->setIcon(floppyIcon());
    save_->setIconSize(QSize(16, 16));
    save_->setFocusPolicy(Qt::NoFocus); // Space and Enter belong to the canvas
    save_->setToolTip(QStringLiteral("Сохранить снимок без маркировки и закрыть редактор"));
    save_->setAccessibleName(QStringLiteral("Сохранить снимок без маркировки"));
    connect(save_, &QToolButton::clicked, this, [this] {
        if (onSave_)
            onSave_();
    });

    path_->setEnabled(false);
    menu_->addAction(path_);
    menu_->addAction(choose_);
    connect(choose_, &QAction::triggered, this, [this] {
        if (onChooseDirectory_)
            onChooseDirectory_();
    });
    folder_->setMenu(menu_);
    folder_->setPopupMode(QToolButton::InstantPopup);
    folder_->setAutoRaise(true);
    folder_->setFocusPolicy(Qt::NoFocus);
    folder_->setIcon(platform::symbolIcon(u"chevron-down", QColor::fromRgbF(0.94f, 0.94f, 0.94f)));
    folder_->setIconSize(QSize(10, 10));
    folder_->setFixedSize(18, 24);
    folder_->setAccessibleName(QStringLiteral("Папка сохранения снимков"));

    row->addWidget(save_);
    row->addWidget(folder_);

    if (model) {
        connect(model, &AppModel::changed, this, [this, model] { setDirectory(model->imageSaveDirectory()); });
        directory_ = QString(); // forces the first update below
        setDirectory(model->imageSaveDirectory());
    } else {
        directory_ = QString();
        setDirectory(std::nullopt);
    }
}

void EditorSaveControls::setDirectory(const std::optional<QString>& directory)
{
    if (directory_ == directory)
        return;
    directory_ = directory;
    path_->setVisible(directory.has_value());
    path_->setText(QStringLiteral("Папка: ") + directory.value_or(QString()));
    choose_->setText(directory ? QStringLiteral("Изменить папку сохранения…") : QStringLiteral("Выбрать папку сохранения…"));
    folder_->setToolTip(directory ? QStringLiteral("Папка сохранения: ") + *directory
                                  : QStringLiteral("Выбрать папку сохранения по умолчанию"));
}

void EditorSaveControls::setCanSave(bool canSave) { save_->setEnabled(canSave); }

void EditorSaveControls::setCanChoose(bool canChoose) { folder_->setEnabled(canChoose); }

CanvasZoomButton::CanvasZoomButton(double factor, QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(12, 12));
    factor_ = factor == 1 ? 0 : 1; // forces the first update
    setFactor(factor);
    connect(this, &QToolButton::clicked, this, &CanvasZoomButton::zoomCanvas);
}

void CanvasZoomButton::setFactor(double factor)
{
    const bool wasIn = factor_ > 1;
    factor_ = factor;
    if (wasIn == (factor > 1) && !icon().isNull())
        return;
    const bool in = factor > 1;
    setIcon(platform::symbolIcon(in ? u"plus" : u"minus", QColor::fromRgbF(0.7f, 0.7f, 0.7f)));
    setAccessibleName(in ? QStringLiteral("Увеличить масштаб") : QStringLiteral("Уменьшить масштаб"));
    setToolTip(platform::keyText(in ? u"Увеличить масштаб · ⌘+" : u"Уменьшить масштаб · ⌘−"));
}

void CanvasZoomButton::zoomCanvas()
{
    if (auto* editor = qobject_cast<EditorExportWindow*>(window()))
        editor->zoomCanvas(factor_);
}

} // namespace tarnwick
