#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace tarnwick {

// What the scrolling capture's control panel shows; GUI thread only. The
// setters emit changed() only on a real change.
class ScrollingCaptureModel : public QObject {
    Q_OBJECT
public:
    const QString& message() const { return message_; }
    const QString& dimensions() const { return dimensions_; }
    // At least one row has been collected.
    bool ready() const { return ready_; }
    // The session is ending.
    bool stopping() const { return stopping_; }

    void setMessage(const QString& value) { assign(message_, value); }
    void setDimensions(const QString& value) { assign(dimensions_, value); }
    void setReady(bool value) { assign(ready_, value); }
    void setStopping(bool value) { assign(stopping_, value); }

    // The panel's two buttons; set by the controller.
    std::function<void()> finish;
    std::function<void()> cancel;

signals:
    void changed();

private:
    template <typename T>
    void assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        emit changed();
    }

    QString message_ = QStringLiteral("Выделите содержимое страницы без панели браузера и закреплённых блоков");
    QString dimensions_ = QStringLiteral("Подготовка…");
    bool ready_ = false;
    bool stopping_ = false;
};

} // namespace tarnwick
