#include "editor/tools/SegmentedPicker.h"

#include "editor/tools/ToolLook.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace tarnwick {

SegmentedPicker::SegmentedPicker(const QString& title, const QStringList& segments, bool showTitle, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this))
{
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    if (showTitle) {
        row->addWidget(toolLook::label(title, 12, this));
        row->addSpacing(8);
    }
    for (int i = 0; i < segments.size(); ++i) {
        auto* segment = new QToolButton(this);
        segment->setText(segments[i]);
        segment->setCheckable(true);
        segment->setFocusPolicy(Qt::NoFocus); // the keys stay with the canvas
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group_->addButton(segment, i);
        row->addWidget(segment);
    }
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedPicker::picked);
}

int SegmentedPicker::current() const { return group_->checkedId(); }

void SegmentedPicker::setCurrent(int index)
{
    if (QAbstractButton* b = group_->button(index); b && !b->isChecked())
        b->setChecked(true);
}

} // namespace tarnwick
