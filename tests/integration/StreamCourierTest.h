// Runs the StreamCourier of the build against a HostSimulator, with HOME at a fresh temporary
// folder so that the program's log is the test's own. The simulator kills a child still
// running when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/CommandBuilder.h"
#include "host/HostSimulator.h"
#include "interfaces/SessionFrame.h"
#include "platform/TempFolder.h"

namespace sctest {

class StreamCourierTest : public ::testing::Test {
  public:
    static constexpr int kStartMs = 10000;
    static constexpr int kExitMs = 5000;
    static constexpr int kAnswerMs = 5000;
    static constexpr const char* kKeepAliveAnswer = "<cmd id=\"4361\" />";

    static std::string FrameLength(uint32_t length) {
        unsigned char prefix[4];
        EncodeFrameLength(length, prefix);
        return std::string(reinterpret_cast<const char*>(prefix), sizeof(prefix));
    }

  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.IsValid());
        ASSERT_TRUE(host_.Listen(0));
    }

    std::vector<std::string> Environment() const {
        return {"HOME=" + home_.Path(), "XDG_DOCUMENTS_DIR", "STREAMCOURIER_LOG_STDERR",
                "STREAMCOURIER_LOG_LEVEL"};
    }
    ::testing::AssertionResult StartSession() {
        if (!host_.StartProcess(SC_STREAMCOURIER_EXE, Environment()) ||
            !host_.AcceptSession(kStartMs)) {
            return ::testing::AssertionFailure() << "StreamCourier did not start and connect";
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult StartProgram(const std::string& exe,
                                            const std::vector<std::string>& args) {
        if (!host_.StartProcessWithArgs(exe, args, Environment())) {
            return ::testing::AssertionFailure() << "cannot start " << exe;
        }
        return ::testing::AssertionSuccess();
    }

    // The next thing the program does is `status`, with a payload starting with `prefix`.
    ::testing::AssertionResult Next(qxhost::ReceiveStatus status, const std::string& prefix,
                                    int timeoutMs = kAnswerMs, bool whole = true) {
        const qxhost::Received got = host_.Receive(timeoutMs);
        if (got.status != status || got.payload.rfind(prefix, 0) != 0 ||
            (whole && got.payload != prefix)) {
            return ::testing::AssertionFailure()
                   << "expected status " << static_cast<int>(status) << " " << prefix
                   << ", got status " << static_cast<int>(got.status) << " " << got.payload;
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult NextMessageIs(const std::string& expected) {
        return Next(qxhost::ReceiveStatus::kMessage, expected);
    }
    ::testing::AssertionResult SessionCloses(int timeoutMs) {
        return Next(qxhost::ReceiveStatus::kClosed, "", timeoutMs, false);
    }
    ::testing::AssertionResult KeepAliveAnswered() {
        EXPECT_TRUE(host_.Send(qxhost::CommandBuilder::KeepAlive()));
        return NextMessageIs(kKeepAliveAnswer);
    }
    // A KeepAlive, then a RemoveInput naming no context (answered with 4358): their answers
    // must come next. Messages are handled in order, so whatever came before got no answer.
    ::testing::AssertionResult KeepAliveIsTheOnlyAnswer() {
        using qxhost::CommandBuilder;
        EXPECT_TRUE(host_.Send(CommandBuilder::KeepAlive()));
        EXPECT_TRUE(
            host_.Send(CommandBuilder(CommandBuilder::kRemoveInput).Param("ContextID", -1).Text()));
        const ::testing::AssertionResult answered = NextMessageIs(kKeepAliveAnswer);
        return answered
                   ? Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4358\">", kAnswerMs, false)
                   : answered;
    }
    ::testing::AssertionResult ExitsWithZero(int timeoutMs) {
        if (!host_.WaitExit(timeoutMs) || host_.ExitCode() != 0) {
            return ::testing::AssertionFailure() << "not ended with 0 within " << timeoutMs
                                                 << " ms, exit code " << host_.ExitCode();
        }
        return ::testing::AssertionSuccess();
    }
    // Ended with 0 within kStartMs and never connected to the host.
    ::testing::AssertionResult EndsWithoutConnecting() {
        const ::testing::AssertionResult exited = ExitsWithZero(kStartMs);
        if (exited && host_.AcceptSession(0)) {
            return ::testing::AssertionFailure() << "StreamCourier connected to the host";
        }
        return exited;
    }

    // The text of every StreamCourier log file in the test's documents folder.
    std::string ReadLog() const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(home_.Path()) / "Documents/Wyn/QXDesktop/Log")) {
            if (entry.path().filename().string().rfind("StreamCourier-", 0) == 0) {
                std::ostringstream content;
                content << std::ifstream(entry.path(), std::ios::binary).rdbuf();
                text += content.str();
            }
        }
        return text;
    }
    static std::string CopyInto(const std::string& file, const std::string& folder) {
        const auto target = std::filesystem::path(folder) / std::filesystem::path(file).filename();
        std::error_code error;
        return std::filesystem::copy_file(file, target, error) ? target.string() : std::string();
    }

    platform::TempFolder home_{"sc-home"};
    qxhost::HostSimulator host_;
};

}  // namespace sctest
