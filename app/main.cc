// Process entry: reads "-port N", installs the crash handler with its folder in the host's log
// folder, runs the StreamManager until the host session is lost or SIGINT/SIGTERM arrives,
// then shuts down in order. Every exit code is 0, a crash's too: the host tells success from
// failure by the session alone.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/crash/CrashHandler.h"
#include "control/StreamManager.h"
#include "platform/FileSystem.h"
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
    app::InstallCrashHandler();
    // Crash files go to the host's log folder; "log/" beside the executable stays the folder
    // when there is no documents folder.
    const std::string documents = platform::DocumentsFolder();
    if (!documents.empty()) {
        app::SetCrashFolder(documents + "/Wyn/QXDesktop/Log/");
    }
    {
        streammanager::StreamManager streamManager(port, [&quit]() { quit.Post(); });
        if (streamManager.Init() != S_OK) {
            return 0;  // the handler stays to the end, as for a start-up that failed
        }
        quit.Wait();
    }
    app::UninstallCrashHandler();
    return 0;
}
