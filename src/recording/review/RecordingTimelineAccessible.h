#pragma once

#include <QAccessibleWidget>

namespace tarnwick {

class RecordingTimelineView;

// The timeline strip as one slider for assistive technology: its name is the edited target,
// its value that target's time; increase and decrease step it by one frame (1/30 s).
class RecordingTimelineAccessible : public QAccessibleWidget {
public:
    explicit RecordingTimelineAccessible(RecordingTimelineView* view);
    static void install();

    QString text(QAccessible::Text type) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

private:
    RecordingTimelineView* view() const;
};

} // namespace tarnwick
