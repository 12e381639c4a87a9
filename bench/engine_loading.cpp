// The cost of an engine's first use that is its loading: the time to open each module in a
// process built like the program (which links none of them), printed in milliseconds.
// Run by bench/shell_startup.sh, one process per module so every load is a first one.
#include "platform/EngineModule.h"
#include "recording/RecorderSession.h"
#include "render/Engines.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    using namespace tarnwick;
    const char* which = argc > 1 ? argv[1] : "";
    QElapsedTimer timer;
    timer.start();
    if (!std::strcmp(which, "effects"))
        effectsEngine();
    else if (!std::strcmp(which, "recognition"))
        recognitionEngine();
    else if (!std::strcmp(which, "recording"))
        recording::recorderModule();
    else
        return std::fprintf(stderr, "usage: engine_loading effects|recognition|recording\n"), 2;
    std::printf("%.1f\n", timer.nsecsElapsed() / 1e6);
    return 0;
}
