#include "recording/review/RecordingTimelineAccessible.h"

#include "recording/review/RecordingTimelineTime.h"
#include "recording/review/RecordingTimelineView.h"

namespace tarnwick {

RecordingTimelineAccessible::RecordingTimelineAccessible(RecordingTimelineView* view)
    : QAccessibleWidget(view, QAccessible::Slider)
{
}

void RecordingTimelineAccessible::install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory([](const QString& className, QObject* object) -> QAccessibleInterface* {
        auto* view = qobject_cast<RecordingTimelineView*>(object);
        if (className != QLatin1String("tarnwick::RecordingTimelineView") || !view)
            return nullptr;
        return new RecordingTimelineAccessible(view);
    });
}

RecordingTimelineView* RecordingTimelineAccessible::view() const { return static_cast<RecordingTimelineView*>(widget()); }

QString RecordingTimelineAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return RecordingTimelineTime::string(view()->value(view()->target()));
    return QAccessibleWidget::text(type);
}

QAccessible::State RecordingTimelineAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.disabled = !view()->canScrub();
    return state;
}

QStringList RecordingTimelineAccessible::actionNames() const
{
    return {increaseAction(), decreaseAction()};
}

void RecordingTimelineAccessible::doAction(const QString& action)
{
    if (action == increaseAction() || action == decreaseAction())
        view()->accessibilityStep(action == increaseAction() ? 1 : -1);
}

} // namespace tarnwick
