#include "support/Xvfb.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <csignal>
#include <stdexcept>
#include <sys/prctl.h>

namespace tarnwick::test {

Xvfb::Xvfb(QStringList extraArgs, Environment environment)
    : extraArgs_(std::move(extraArgs)), environment_(environment)
{
    launch(-1);
    if (environment_ == Environment::SetDisplay) {
        hadDisplay_ = qEnvironmentVariableIsSet("DISPLAY");
        previousDisplay_ = qgetenv("DISPLAY");
        qputenv("DISPLAY", display().toLocal8Bit());
    }
}

Xvfb::~Xvfb()
{
    stop();
    if (environment_ == Environment::SetDisplay && hadDisplay_)
        qputenv("DISPLAY", previousDisplay_);
    else if (environment_ == Environment::SetDisplay)
        qunsetenv("DISPLAY");
}

void Xvfb::restart()
{
    const int number = number_;
    stop();
    launch(number);
}

void Xvfb::stop()
{
    if (!process_)
        return;
    process_->terminate();
    if (!process_->waitForFinished(5000))
        process_->kill();
    process_->waitForFinished(1000);
    process_.reset();
}

void Xvfb::launch(int number)
{
    if (number >= 0) {
        if (!launchOn(number))
            throw std::runtime_error(QStringLiteral("Xvfb did not start on display :%1").arg(number).toStdString());
        return;
    }
    // A random number from a wide range rather than the lowest free one: a
    // display just given up by restart() is then not taken by a neighbouring
    // test program in the meantime.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int candidate = QRandomGenerator::global()->bounded(200, 30000);
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(candidate)) && launchOn(candidate))
            return;
    }
    throw std::runtime_error("Xvfb did not start");
}

bool Xvfb::launchOn(int number)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty())
        throw std::runtime_error("Xvfb is not installed (scripts/install-deps)");
    process_ = std::make_unique<QProcess>();
    // The server must not outlive a crashed test.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_->setStandardErrorFile(QProcess::nullDevice());
    // It writes its display number to standard output once it accepts
    // connections, and exits without a word when another server holds the number.
    process_->start(program, QStringList{QStringLiteral(":%1").arg(number), QStringLiteral("-displayfd"), QStringLiteral("1"),
                                         QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1920x1080x24"),
                                         QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")}
                        + extraArgs_);
    if (process_->waitForReadyRead(15000)) {
        number_ = number;
        return true;
    }
    stop();
    return false;
}

} // namespace tarnwick::test
