// Runs the StreamCourier of the build against a HostSimulator, with HOME at a fresh temporary
// folder so that the program's log is the test's own. The simulator kills a child still
// running when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/CommandBuilder.h"
#include "host/CommandOptions.h"
#include "host/HostSimulator.h"
#include "host/MediaFeeder.h"
#include "host/MediaOptions.h"
#include "platform/TempFolder.h"

namespace sctest {

using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

class StreamCourierTest : public ::testing::Test {
  public:
    static constexpr int kStartMs = 10000;
    static constexpr int kExitMs = 5000;
    static constexpr int kAnswerMs = 5000;
    static constexpr const char* kKeepAliveAnswer = "<cmd id=\"4361\" />";

  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.IsValid());
        ASSERT_TRUE(host_.Listen(0));
    }

    // HOME set, the variables that would change the program's log unset, and the test's own.
    std::vector<std::string> Environment() const {
        std::vector<std::string> environment = {"HOME=" + home_.Path(), "XDG_DOCUMENTS_DIR",
                                                "STREAMCOURIER_LOG_STDERR",
                                                "STREAMCOURIER_LOG_LEVEL"};
        environment.insert(environment.end(), extraEnvironment_.begin(), extraEnvironment_.end());
        return environment;
    }
    // Starts `exe` (the build's program unless given) and accepts its session.
    AssertionResult StartSession(const std::string& exe = SC_STREAMCOURIER_EXE) {
        return host_.StartProcess(exe, Environment()) && host_.AcceptSession(kStartMs)
                   ? AssertionSuccess()
                   : AssertionFailure() << "StreamCourier did not start and connect";
    }

    // The next thing the program does is `status`, with a payload starting with `prefix`.
    AssertionResult Next(qxhost::ReceiveStatus status, const std::string& prefix,
                         int timeoutMs = kAnswerMs, bool whole = true) {
        const qxhost::Received got = host_.Receive(timeoutMs);
        if (got.status != status || got.payload.rfind(prefix, 0) != 0 ||
            (whole && got.payload != prefix)) {
            return AssertionFailure()
                   << "expected status " << static_cast<int>(status) << " " << prefix
                   << ", got status " << static_cast<int>(got.status) << " " << got.payload;
        }
        return AssertionSuccess();
    }
    AssertionResult NextMessageIs(const std::string& expected) {
        return Next(qxhost::ReceiveStatus::kMessage, expected);
    }
    // Sends `command`; the answer that comes next starts with `prefix`.
    AssertionResult Exchange(const std::string& command, const std::string& prefix) {
        return host_.Send(command) ? Next(qxhost::ReceiveStatus::kMessage, prefix, kAnswerMs, false)
                                   : AssertionFailure() << "not sent: " << command;
    }
    // A CreateContext answered with `context`, then a CreateInput of each {user, type} of
    // `inputs`, answered with Result 0 (a context numbers its inputs from 100).
    AssertionResult OpenContext(const std::vector<std::pair<int, int>>& inputs,
                                int context = 10001) {
        AssertionResult opened = Exchange(
            "<cmd id=\"4100\" />", "<cmd id=\"4356\"><ContextID val=\"" + std::to_string(context) +
                                       "\" /><Result val=\"0\" />");
        std::string text, error;
        for (size_t i = 0; opened && i < inputs.size(); ++i) {
            qxhost::CommandText(qxhost::InputCommand{context, inputs[i].first, inputs[i].second, 0},
                                qxhost::SessionAnswers(), &text, &error);
            opened = Exchange(text, "<cmd id=\"4357\"><Result val=\"0\" />");
        }
        return opened;
    }
    // Sends the SetOutParam qxhost makes of `--output output` with a `--layout` of each of
    // `layouts`; it is answered with Result 0.
    AssertionResult SetOutput(const std::string& output,
                              const std::vector<std::string>& layouts = {}) {
        qxhost::OutputCommand command;
        std::string text, error;
        bool built = qxhost::ParseOutputOption(output, &command, &error);
        for (const std::string& layout : layouts) {
            built =
                built && qxhost::ParseLayoutOption(layout, &command.layouts.emplace_back(), &error);
        }
        if (!built || !qxhost::CommandText(command, qxhost::SessionAnswers(), &text, &error)) {
            return AssertionFailure() << error;
        }
        return host_.Send(text)
                   ? NextMessageIs("<cmd id=\"4359\"><Result val=\"0\" /><ContextID val=\"" +
                                   std::to_string(command.context.value_or(10001)) + "\" /></cmd>")
                   : AssertionFailure() << "not sent: " << text;
    }
    // Starts feeding the session's port a stream of each {option, value} of qxhost's media
    // options ("--video", "channel=3,user=7,size=320x180,rate=30").
    AssertionResult Feed(const std::vector<std::pair<std::string, std::string>>& streams) {
        feeder_ = std::make_unique<qxhost::MediaFeeder>(host_.Port());
        std::string error;
        for (const auto& [option, value] : streams) {
            qxhost::FeedSettings settings;
            if (!qxhost::ParseMediaOption(option, value, &settings, &error) ||
                !feeder_->AddStream(settings, &error)) {
                return AssertionFailure() << option << " " << value << ": " << error;
            }
        }
        return feeder_->Open(&error) && feeder_->Start() ? AssertionSuccess()
                                                         : AssertionFailure() << error;
    }
    AssertionResult SessionCloses(int timeoutMs) {
        return Next(qxhost::ReceiveStatus::kClosed, "", timeoutMs, false);
    }
    AssertionResult KeepAliveAnswered() {
        EXPECT_TRUE(host_.Send(qxhost::CommandBuilder::KeepAlive()));
        return NextMessageIs(kKeepAliveAnswer);
    }
    // A KeepAlive, then a RemoveInput naming no context (answered with 4358): their answers
    // must come next. Messages are handled in order, so whatever came before got no answer.
    AssertionResult KeepAliveIsTheOnlyAnswer() {
        using qxhost::CommandBuilder;
        EXPECT_TRUE(host_.Send(CommandBuilder::KeepAlive()));
        EXPECT_TRUE(
            host_.Send(CommandBuilder(CommandBuilder::kRemoveInput).Param("ContextID", -1).Text()));
        const AssertionResult answered = NextMessageIs(kKeepAliveAnswer);
        return answered
                   ? Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4358\">", kAnswerMs, false)
                   : answered;
    }
    // The host closes the session; the program ends with 0.
    AssertionResult EndsWithZero() {
        host_.CloseSession();
        return ExitsWithZero(kExitMs);
    }
    AssertionResult ExitsWithZero(int timeoutMs) {
        return host_.WaitExit(timeoutMs) && host_.ExitCode() == 0
                   ? AssertionSuccess()
                   : AssertionFailure() << "not ended with 0 within " << timeoutMs
                                        << " ms, exit code " << host_.ExitCode();
    }

    platform::TempFolder home_{"sc-home"};
    std::vector<std::string> extraEnvironment_;  // "NAME=value", set before StartSession
    qxhost::HostSimulator host_;
    std::unique_ptr<qxhost::MediaFeeder> feeder_;  // made by Feed; goes before the host
};

}  // namespace sctest
