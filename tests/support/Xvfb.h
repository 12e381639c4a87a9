#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QProcess;

namespace tarnwick::test {

// A private X server for one test program: `Xvfb :N -screen 0 1920x1080x24`
// on a free display number, so test programs running side by side never
// collide. The constructor returns once the server
// answers; the destructor stops it. Extra arguments switch extensions off,
// e.g. {"-extension", "RECORD"}.
class Xvfb {
public:
    enum class Environment { SetDisplay, LeaveDisplay };

    // SetDisplay points $DISPLAY at this server for the test process until
    // the destructor restores the previous value. Throws std::runtime_error
    // when the server does not come up.
    explicit Xvfb(QStringList extraArgs = {}, Environment environment = Environment::SetDisplay);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    QString display() const { return QStringLiteral(":%1").arg(number_); }
    int number() const { return number_; }
    bool isRunning() const { return process_ != nullptr; }

    // Stops the server and starts a fresh one on the same display number:
    // every client connection breaks, new ones reach the new server.
    void restart();
    void stop();

private:
    void launch(int number);
    bool launchOn(int number);

    QStringList extraArgs_;
    Environment environment_;
    bool hadDisplay_ = false;
    QByteArray previousDisplay_;
    std::unique_ptr<QProcess> process_;
    int number_ = -1;
};

} // namespace tarnwick::test
