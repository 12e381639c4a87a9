#include "support/Xvfb.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarnwick::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(15);

// Built with snprintf: GCC 12 at -O3 raises a false -Wrestrict on ":" + std::to_string(n).
std::string displayName(int number)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, ":%d", number);
    return buffer;
}

} // namespace

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
    if (environment_ == Environment::SetDisplay) {
        if (hadDisplay_)
            qputenv("DISPLAY", previousDisplay_);
        else
            qunsetenv("DISPLAY");
    }
}

void Xvfb::restart()
{
    const int number = number_;
    stop();
    launch(number);
}

void Xvfb::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

void Xvfb::launch(int number)
{
    if (number >= 0) {
        if (!launchOn(number))
            throw std::runtime_error("Xvfb did not start on display :" + std::to_string(number));
        return;
    }
    // A random number from a wide range rather than the lowest free one: a
    // display just given up by restart() is then not taken by a neighbouring
    // test program in the meantime.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int candidate = QRandomGenerator::global()->bounded(200, 30000);
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(candidate)))
            continue;
        if (launchOn(candidate))
            return;
    }
    throw std::runtime_error("Xvfb did not start");
}

bool Xvfb::launchOn(int number)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty())
        throw std::runtime_error("Xvfb is not installed (scripts/install-deps)");

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are allowed in a threaded process.
    std::vector<std::string> args{program.toStdString(), displayName(number)};
    for (const char* a : {"-displayfd", "3", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"})
        args.emplace_back(a);
    for (const QString& a : extraArgs_)
        args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // The server must not outlive a crashed test.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (pipeFds[1] == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(pipeFds[1], 3); // dup2 clears close-on-exec on the copy
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (devNull >= 0)
        ::close(devNull);
    pid_ = pid;

    // The server writes its display number once it accepts connections; it
    // exits without a word when another server holds the number.
    std::string written;
    const auto deadline = Clock::now() + startTimeout;
    while (written.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[32];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        written.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (written.find('\n') == std::string::npos) {
        stop();
        return false;
    }
    number_ = number;
    return true;
}

} // namespace tarnwick::test
