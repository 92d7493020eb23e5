// Process entry: reads "-port N", runs the StreamManager until the host session is lost or
// SIGINT/SIGTERM arrives, then shuts down in order. Every exit code is 0: the host tells
// success from failure by the session alone.
#include <cstdint>
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
