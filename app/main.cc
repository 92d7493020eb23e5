// Process entry: reads "-port N", runs the StreamManager until the host session is lost or
// SIGINT/SIGTERM arrives, then shuts down in order. Every exit code is 0: the host tells
// success from failure by the session alone.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "app/CommandLine.h"
#include "control/StreamManager.h"
#include "platform/QuitSignal.h"

int main(int argc, char** argv) {
    uint32_t port = 0;
    if (!app::ParsePortArgument(argc, argv, &port)) {
        return 0;
    }
    platform::QuitSignal quit;
    if (!quit.IsReady()) {
        std::fprintf(stderr, "StreamCourier: cannot make the quit semaphore\n");
        return 0;
    }
    // Without the handlers SIGINT and SIGTERM end the process at once; the host session still
    // ends it in order.
    quit.InstallSignalHandlers();
    {
        streammanager::StreamManager streamManager(port, [&quit]() { quit.Post(); });
        if (streamManager.Init() != S_OK) {
            return 0;
        }
        quit.Wait();
    }
    return 0;
}
