// The fixture of the integration tests: runs the StreamCourier of the build against a
// HostSimulator, with HOME pointing at a fresh temporary folder so that the program's log is
// the test's own. Owned and called by the test's thread only; the simulator kills a child that
// is still running when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostSimulator.h"
#include "platform/TempFolder.h"

namespace sctest {

class StreamCourierTest : public ::testing::Test {
  protected:
    // Time for the program to start and connect, or to end once it has reason to.
    static constexpr int kStartMs = 10000;
    static constexpr int kExitMs = 5000;
    static constexpr int kAnswerMs = 5000;

    void SetUp() override;

    // HOME set to the test's folder; the variables that would move or mirror the log removed.
    std::vector<std::string> Environment() const;
    // Starts StreamCourier -port <port> and accepts its session.
    ::testing::AssertionResult StartSession();
    // Starts `exePath` with exactly `args` after the program name.
    ::testing::AssertionResult StartProgram(const std::string& exePath,
                                            const std::vector<std::string>& args);

    // The next message the program sends is exactly `expected`.
    ::testing::AssertionResult NextMessageIs(const std::string& expected);
    // Sends a KeepAlive; the next message must be its answer, so nothing else came before it.
    ::testing::AssertionResult KeepAliveAnswered();
    // Sends a KeepAlive, then a RemoveInput that names no context (answered with 4358); their
    // two answers must be the next two messages. Messages are handled in arrival order, so
    // anything sent before got no answer: not even one that looks like the KeepAlive's.
    ::testing::AssertionResult KeepAliveIsTheOnlyAnswer();
    // The program closes the session within timeoutMs, sending nothing before.
    ::testing::AssertionResult SessionCloses(int timeoutMs);
    // The program ends within timeoutMs with exit code 0.
    ::testing::AssertionResult ExitsWithZero(int timeoutMs);
    // After the program has ended: it never connected to the host.
    ::testing::AssertionResult NeverConnected();

    // The text of every StreamCourier log file in the test's documents folder.
    std::string ReadLog() const;
    // Copies `file` into `folder`, keeping its mode. Returns the copy's path, empty on failure.
    static std::string CopyInto(const std::string& file, const std::string& folder);

    // What TinyXML's compact stream form gives for <cmd id="4361" />, the KeepAlive answer.
    static std::string KeepAliveAnswer();
    static std::string FrameLength(uint32_t length);

    platform::TempFolder home_{"sc-home"};
    qxhost::HostSimulator host_;
};

}  // namespace sctest
