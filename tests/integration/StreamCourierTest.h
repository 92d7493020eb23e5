// Runs the StreamCourier of the build against a HostSimulator, with HOME at a fresh temporary
// folder so that the program's log is the test's own. The simulator kills a child still
// running when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/CommandBuilder.h"
#include "host/HostSimulator.h"
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
        if (!host_.StartProcess(exe, Environment()) || !host_.AcceptSession(kStartMs)) {
            return AssertionFailure() << "StreamCourier did not start and connect";
        }
        return AssertionSuccess();
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
    AssertionResult ExitsWithZero(int timeoutMs) {
        if (!host_.WaitExit(timeoutMs) || host_.ExitCode() != 0) {
            return AssertionFailure() << "not ended with 0 within " << timeoutMs
                                      << " ms, exit code " << host_.ExitCode();
        }
        return AssertionSuccess();
    }

    platform::TempFolder home_{"sc-home"};
    std::vector<std::string> extraEnvironment_;  // "NAME=value", set before StartSession
    qxhost::HostSimulator host_;
};

}  // namespace sctest
