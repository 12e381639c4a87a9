#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QLabel;

namespace tarnwick {

// A row of exclusive segments, optionally after a visible title; `picked` reports
// the user's choice only, never a value the program sets. GUI thread.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    SegmentedPicker(const QString& title, const QStringList& segments, bool showTitle, QWidget* parent = nullptr);
    int current() const;
    void setCurrent(int index);

signals:
    void picked(int index);

private:
    QButtonGroup* group_;
};

} // namespace tarnwick
