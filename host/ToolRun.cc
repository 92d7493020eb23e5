#include "host/ToolRun.h"

#include <algorithm>

#include "host/HostSimulator.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace qxhost {

namespace {

constexpr int kAcceptTimeoutMs = 10000;
constexpr int kExitTimeoutMs = 5000;
// How long responses to a command are awaited before the next command goes out.
constexpr int kBetweenCommandsMs = 100;

// Prints what arrives within windowMs. False when the session ended meanwhile.
bool ShowResponses(HostSimulator& host, int windowMs, std::ostream& out) {
    const uint64_t deadlineUs =
        platform::MonotonicMicros() + static_cast<uint64_t>(windowMs) * 1000u;
    for (;;) {
        const uint64_t nowUs = platform::MonotonicMicros();
        const int remainingMs =
            nowUs >= deadlineUs ? 0 : static_cast<int>((deadlineUs - nowUs) / 1000u);
        const Received received = host.Receive(remainingMs);
        switch (received.status) {
            case ReceiveStatus::kMessage:
                out << "<- " << received.payload << std::endl;
                break;
            case ReceiveStatus::kTimeout:
                return true;
            case ReceiveStatus::kClosed:
                out << "<- (session closed by StreamCourier)" << std::endl;
                return false;
            case ReceiveStatus::kError:
                out << "<- (session broken)" << std::endl;
                return false;
        }
    }
}

// Sends every command, showing responses as they come. False when one could not be delivered.
bool Exchange(HostSimulator& host, const ToolOptions& options, std::ostream& out,
              std::ostream& err) {
    if (options.commands.empty()) {
        ShowResponses(host, options.waitMs, out);
        return true;
    }
    for (size_t i = 0; i < options.commands.size(); ++i) {
        const std::string& command = options.commands[i];
        if (!host.Send(command)) {
            err << "qxhost: the session took no more commands" << std::endl;
            return false;
        }
        out << "-> " << command << std::endl;
        const bool last = i + 1 == options.commands.size();
        const int windowMs = last ? options.waitMs : std::min(options.waitMs, kBetweenCommandsMs);
        if (!ShowResponses(host, windowMs, out) && !last) {
            err << "qxhost: the session ended before every command was sent" << std::endl;
            return false;
        }
    }
    return true;
}

// Waits for the program to end and reports its exit code. True when it exited with 0.
bool ReportExit(HostSimulator& host, std::ostream& out, std::ostream& err) {
    if (!host.WaitExit(kExitTimeoutMs)) {
        err << "qxhost: StreamCourier did not exit within " << kExitTimeoutMs / 1000
            << " s; killing it" << std::endl;
        return false;
    }
    out << "StreamCourier exited with code " << host.ExitCode() << std::endl;
    return host.ExitCode() == 0;
}

}  // namespace

int RunTool(const ToolOptions& options, std::ostream& out, std::ostream& err) {
    HostSimulator host;
    if (!host.Listen(options.port)) {
        err << "qxhost: cannot listen on 127.0.0.1:" << options.port << std::endl;
        return 1;
    }
    const std::string exe =
        options.exePath.empty() ? platform::ExecutableFolder() + "StreamCourier" : options.exePath;
    if (!host.StartProcess(exe, options.environment)) {
        err << "qxhost: cannot start " << exe << std::endl;
        return 1;
    }
    out << "listening on 127.0.0.1:" << host.Port() << ", started " << exe << std::endl;
    if (!host.AcceptSession(kAcceptTimeoutMs)) {
        err << "qxhost: StreamCourier did not connect within " << kAcceptTimeoutMs / 1000 << " s"
            << std::endl;
        ReportExit(host, out, err);
        return 1;
    }
    out << "session open" << std::endl;
    const bool delivered = Exchange(host, options, out, err);
    host.CloseSession();
    out << "session closed by qxhost" << std::endl;
    const bool exitedCleanly = ReportExit(host, out, err);
    return delivered && exitedCleanly ? 0 : 1;
}

}  // namespace qxhost
