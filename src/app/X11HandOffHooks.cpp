#include "app/X11HandOffHooks.h"

#include "platform/ActiveWindow.h"
#include "platform/Capabilities.h"
#include "series/AppModel.h"

#include <QPointer>

namespace tarnwick {

X11HandOffHooks::X11HandOffHooks(QString display)
    : connection_(display), monitor_(display), keyboard_(connection_, &monitor_)
{
}

void X11HandOffHooks::install(AppModel& model)
{
    PasteHandOff& handOff = model.handOff();
    handOff.pastePermission = [this] { return platform::hasXTestExtension(connection_); };
    handOff.postPaste = [this](quint32 window) { return keyboard_.paste(window) == platform::PasteOutcome::Posted; };
    handOff.activeWindow = [this] { return platform::ActiveWindow::query(connection_); };
    handOff.activateWindow = [this](quint32 window) { platform::activateWindow(connection_, window); };
    // A watch that broke with its connection, or never started, is tried again.
    model.watching = [this] {
        if (!monitor_.isMonitoring())
            monitor_.start();
        return monitor_.isMonitoring();
    };
    model.startWatching = [this] {
        monitor_.start();
        return monitor_.isMonitoring();
    };
    model.connectionProblem = [this] { return connection_.connect() ? QString() : connection_.errorText(); };
    monitor_.setOnPaste([self = QPointer<AppModel>(&model)] {
        if (self)
            self->handOff().handlePaste();
    });
    model.refresh();
}

} // namespace tarnwick
