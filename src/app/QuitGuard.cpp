#include "app/QuitGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwick {
namespace {

// The handler only writes a byte; the loop reads it as an ordinary event.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

QuitGuard::QuitGuard(std::function<bool()> shouldQuit, QObject* parent)
    : QObject(parent), shouldQuit_(std::move(shouldQuit))
{
    QCoreApplication::instance()->installEventFilter(this);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        endedBySignal_ = true;
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

QuitGuard::~QuitGuard()
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::signal(signal, SIG_DFL);
    delete notifier_;
    for (int& fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool QuitGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit)
        return false;
    // A second quit while the question is open is the same request.
    if (asking_) {
        event->ignore();
        return true;
    }
    asking_ = true;
    const bool quit = !shouldQuit_ || shouldQuit_();
    asking_ = false;
    if (quit) {
        // The answer is final: Qt's own handling would ask every window to close, and one that
        // refuses (the editor commits on close, the recorder asks) would cancel the quit.
        QCoreApplication::exit(0);
        return true;
    }
    event->ignore();
    return true;
}

} // namespace tarnwick
