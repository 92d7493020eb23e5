#include "host/ToolRun.h"

#include <fstream>
#include <sstream>

#include <algorithm>
#include <functional>

#include "host/CommandBuilder.h"
#include "host/HostSimulator.h"
#include "host/MediaFeeder.h"
#include "host/SessionAnswers.h"
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
// How long an answer is awaited when a command needs it.
constexpr int kAnswerTimeoutMs = 5000;

// Prints what arrives within windowMs and notes it in `answers`; returns early once `done`
// holds (asked before each wait). False when the session ended meanwhile.
bool ShowResponses(HostSimulator& host, int windowMs, std::ostream& out, SessionAnswers* answers,
                   const std::function<bool()>& done = nullptr) {
    const uint64_t deadlineUs =
        platform::MonotonicMicros() + static_cast<uint64_t>(windowMs) * 1000u;
    for (;;) {
        if (done && done()) {
            return true;
        }
        const uint64_t nowUs = platform::MonotonicMicros();
        const int remainingMs =
            nowUs >= deadlineUs ? 0 : static_cast<int>((deadlineUs - nowUs) / 1000u);
        const Received received = host.Receive(remainingMs);
        switch (received.status) {
            case ReceiveStatus::kMessage:
                out << "<- " << received.payload << std::endl;
                answers->Received(received.payload);
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

// The text of `command`. A handle may name an answer that is still on its way: then the
// answers are awaited (bounded) until it came or nothing more is awaited.
bool CommandTextNow(HostSimulator& host, const ToolCommand& command, SessionAnswers* answers,
                    std::string* text, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto resolved = [&] { return CommandText(command, *answers, text, &error); };
    if (resolved()) {
        return true;
    }
    ShowResponses(host, kAnswerTimeoutMs, out, answers,
                  [&] { return resolved() || !answers->Awaiting(); });
    if (resolved()) {
        return true;
    }
    err << "qxhost: " << error << std::endl;
    return false;
}

const char* CommandName(uint32_t id) {
    switch (id) {
        case 4096:
            return "RecordParam";
        case 4098:
            return "RecordOperation";
        case 4099:
            return "RecordTime";
        case CommandBuilder::kCreateContext:
            return "CreateContext";
        case CommandBuilder::kCreateInput:
            return "CreateInput";
        case CommandBuilder::kRemoveInput:
            return "RemoveInput";
        case CommandBuilder::kSetOutParam:
            return "SetOutParam";
        case CommandBuilder::kKeepAlive:
            return "KeepAlive";
    }
    return "command";
}

// Waits for the answers still awaited. False when one did not come in time or an answer
// reported a failure.
bool AwaitAnswers(HostSimulator& host, SessionAnswers* answers, std::ostream& out,
                  std::ostream& err) {
    ShowResponses(host, kAnswerTimeoutMs, out, answers, [&] { return !answers->Awaiting(); });
    if (answers->Awaiting()) {
        const uint32_t id = answers->FirstAwaited();
        err << "qxhost: StreamCourier did not answer " << CommandName(id) << " (" << id
            << ") within " << kAnswerTimeoutMs / 1000 << " s" << std::endl;
        return false;
    }
    if (!answers->Failure().empty()) {
        err << "qxhost: StreamCourier reported a failure: " << answers->Failure() << std::endl;
        return false;
    }
    return true;
}

// Sends the commands [begin, end), showing responses as they come, for lastWindowMs after the
// last one. False when one could not be built or delivered, or (strict) was not answered with
// success.
bool Exchange(HostSimulator& host, const ToolOptions& options, size_t begin, size_t end,
              int lastWindowMs, SessionAnswers* answers, std::ostream& out, std::ostream& err) {
    if (begin == end) {
        ShowResponses(host, lastWindowMs, out, answers);
        return true;
    }
    for (size_t i = begin; i < end; ++i) {
        std::string command;
        if (!CommandTextNow(host, options.commands[i], answers, &command, out, err)) {
            return false;
        }
        if (!host.Send(command)) {
            err << "qxhost: the session took no more commands" << std::endl;
            return false;
        }
        out << "-> " << command << std::endl;
        answers->Sent(command);
        if (options.strict && !AwaitAnswers(host, answers, out, err)) {
            return false;
        }
        const bool last = i + 1 == end;
        const int betweenMs = options.strict ? 0 : std::min(options.waitMs, kBetweenCommandsMs);
        if (!ShowResponses(host, last ? lastWindowMs : betweenMs, out, answers) && !last) {
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
bool KeepSessionAlive(HostSimulator& host, int durationMs, SessionAnswers* answers,
                      std::ostream& out) {
    for (int elapsedMs = 0; elapsedMs < durationMs; elapsedMs += kKeepAliveMs) {
        if (elapsedMs > 0) {
            const std::string keepAlive = CommandBuilder::KeepAlive();
            if (!host.Send(keepAlive)) {
                return false;
            }
            out << "-> " << keepAlive << std::endl;
        }
        if (!ShowResponses(host, std::min(kKeepAliveMs, durationMs - elapsedMs), out, answers)) {
            return false;
        }
    }
    return true;
}

// Writes the media for the chosen time while keeping the session alive, then shows the
// counts. False when the session ended meanwhile.
bool FeedMedia(HostSimulator& host, const ToolOptions& options, MediaFeeder& feeder,
               SessionAnswers* answers, std::ostream& out) {
    feeder.Start();
    out << "writing media for " << options.mediaSeconds << " s" << std::endl;
    const bool open = KeepSessionAlive(host, options.mediaSeconds * 1000, answers, out);
    feeder.Stop();
    for (size_t i = 0; i < feeder.StreamCount(); ++i) {
        const FeedSettings& settings = feeder.Settings(i);
        const FeedCounts counts = feeder.Counts(i);
        out << "media: "
            << (settings.channel == kRecordRingChannel ? "recording ring" : KindName(settings.kind))
            << " channel " << int{settings.channel} << " user " << settings.userId << ": "
            << counts.written << " written, " << counts.refused << " refused" << std::endl;
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
    SessionAnswers answers;
    const size_t all = options.commands.size();
    const size_t split = media ? std::min(options.afterMedia, all) : all;
    bool delivered = Exchange(host, options, 0, split, lastWindowMs, &answers, out, err);
    if (delivered && media && FeedMedia(host, options, feeder, &answers, out)) {
        delivered = Exchange(host, options, split, all, options.waitMs, &answers, out, err);
    }
    if (!options.statsFile.empty()) {
        std::stringstream stats;
        stats << std::ifstream(options.statsFile).rdbuf();
        out << "statistics:\n" << stats.str() << std::flush;
    }
    host.CloseSession();
    out << "session closed by qxhost" << std::endl;
    const bool exitedCleanly = ReportExit(host, out, err);
    return delivered && exitedCleanly ? 0 : 1;
}

}  // namespace qxhost
