#include "host/ToolRun.h"

#include <algorithm>

#include "host/CommandBuilder.h"
#include "host/HostSimulator.h"
#include "host/MediaFeeder.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace qxhost {

namespace {

constexpr int kAcceptTimeoutMs = 10000;
constexpr int kExitTimeoutMs = 5000;
// How long responses to a command are awaited before the next command goes out.
constexpr int kBetweenCommandsMs = 100;
// While media is written, a KeepAlive goes out this often, as the meeting client sends them,
// so that StreamCourier does not take the session for lost.
constexpr int kKeepAliveMs = 3000;

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

// Sends every command, showing responses as they come, for lastWindowMs after the last one.
// False when one could not be delivered.
bool Exchange(HostSimulator& host, const ToolOptions& options, int lastWindowMs, std::ostream& out,
              std::ostream& err) {
    if (options.commands.empty()) {
        ShowResponses(host, lastWindowMs, out);
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
        const int windowMs = last ? lastWindowMs : std::min(options.waitMs, kBetweenCommandsMs);
        if (!ShowResponses(host, windowMs, out) && !last) {
            err << "qxhost: the session ended before every command was sent" << std::endl;
            return false;
        }
    }
    return true;
}

// Sets up the media streams and creates their shared objects, before the program starts, so
// the host owns them.
bool OpenMedia(const ToolOptions& options, MediaFeeder* feeder, std::ostream& err) {
    std::string error;
    for (const FeedSettings& settings : options.media) {
        if (!feeder->AddStream(settings, &error)) {
            err << "qxhost: media stream " << feeder->StreamCount() + 1 << ": " << error
                << std::endl;
            return false;
        }
    }
    if (!feeder->Open(&error)) {
        err << "qxhost: " << error << std::endl;
        return false;
    }
    return true;
}

const char* KindName(FeedKind kind) {
    switch (kind) {
        case FeedKind::kPicture:
            return "video";
        case FeedKind::kH264:
            return "h264";
        case FeedKind::kTone:
            return "audio";
    }
    return "?";
}

// Shows responses for durationMs, sending a KeepAlive every kKeepAliveMs. False when the
// session ended meanwhile.
bool KeepSessionAlive(HostSimulator& host, int durationMs, std::ostream& out) {
    for (int elapsedMs = 0; elapsedMs < durationMs; elapsedMs += kKeepAliveMs) {
        if (elapsedMs > 0) {
            const std::string keepAlive = CommandBuilder::KeepAlive();
            if (!host.Send(keepAlive)) {
                return false;
            }
            out << "-> " << keepAlive << std::endl;
        }
        if (!ShowResponses(host, std::min(kKeepAliveMs, durationMs - elapsedMs), out)) {
            return false;
        }
    }
    return true;
}

// Writes the media for the chosen time while keeping the session alive, then shows the
// counts. False when the session ended meanwhile.
bool FeedMedia(HostSimulator& host, const ToolOptions& options, MediaFeeder& feeder,
               std::ostream& out) {
    feeder.Start();
    out << "writing media for " << options.mediaSeconds << " s" << std::endl;
    const bool open = KeepSessionAlive(host, options.mediaSeconds * 1000, out);
    feeder.Stop();
    for (size_t i = 0; i < feeder.StreamCount(); ++i) {
        const FeedSettings& settings = feeder.Settings(i);
        const FeedCounts counts = feeder.Counts(i);
        out << "media: " << KindName(settings.kind) << " channel " << int{settings.channel}
            << " user " << settings.userId << ": " << counts.written << " written, "
            << counts.refused << " refused" << std::endl;
    }
    return open;
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
    // Its shared objects are created before the program starts and unlinked when this
    // returns, after the program exited.
    MediaFeeder feeder(host.Port());
    if (!OpenMedia(options, &feeder, err)) {
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
    const bool media = !options.media.empty();
    const int lastWindowMs = media ? std::min(options.waitMs, kBetweenCommandsMs) : options.waitMs;
    const bool delivered = Exchange(host, options, lastWindowMs, out, err);
    if (delivered && media && FeedMedia(host, options, feeder, out)) {
        ShowResponses(host, options.waitMs, out);
    }
    host.CloseSession();
    out << "session closed by qxhost" << std::endl;
    const bool exitedCleanly = ReportExit(host, out, err);
    return delivered && exitedCleanly ? 0 : 1;
}

}  // namespace qxhost
