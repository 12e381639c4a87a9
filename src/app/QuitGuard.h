#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tarnwick {

// Every way out of the event loop passes here: a quit from a menu asks
// `shouldQuit` first (and stays when it answers false); a yes ends the loop
// with code 0 without asking the windows to close, so an open editor neither
// commits its shot nor cancels the quit. SIGTERM, SIGINT and SIGHUP end the
// loop with code 0 without asking, so the caller's clean-up after exec() still
// runs. GUI thread; one per process.
class QuitGuard : public QObject {
    Q_OBJECT
public:
    explicit QuitGuard(std::function<bool()> shouldQuit, QObject* parent = nullptr);
    ~QuitGuard() override;

    // Whether a signal ended the loop, rather than a quit the user chose.
    bool endedBySignal() const { return endedBySignal_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> shouldQuit_;
    QSocketNotifier* notifier_ = nullptr;
    bool asking_ = false;
    bool endedBySignal_ = false;
};

} // namespace tarnwick
