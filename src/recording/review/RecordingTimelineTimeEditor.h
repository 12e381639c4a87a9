#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;

namespace tarnwick {

// The small popup in which a trim time is typed. GUI thread; owned by the timeline strip,
// which deletes it when it closes. A valid text goes to `commit`; an invalid one only turns
// the hint orange and keeps the popup open. Esc or a click elsewhere closes it.
class RecordingTimelineTimeEditor : public QWidget {
    Q_OBJECT
public:
    RecordingTimelineTimeEditor(const QString& title, const QString& text, std::function<void(double)> commit,
                                QWidget* parent = nullptr);

    bool invalid() const { return invalid_; }
    QLineEdit* field() const { return field_; }
    QLabel* hint() const { return hint_; }
    void submit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Moves the popup back inside the usable part of its screen.
    void keepOnScreen();

    std::function<void(double)> commit_;
    QLineEdit* field_;
    QLabel* hint_;
    bool invalid_ = false;
};

} // namespace tarnwick
