#include "tests/integration/StreamCourierTest.h"

#include <tinyxml.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/CommandBuilder.h"
#include "interfaces/SessionFrame.h"

namespace sctest {

namespace {

const char* StatusName(qxhost::ReceiveStatus status) {
    switch (status) {
        case qxhost::ReceiveStatus::kMessage:
            return "a message";
        case qxhost::ReceiveStatus::kTimeout:
            return "nothing (timed out)";
        case qxhost::ReceiveStatus::kClosed:
            return "the session closed";
        default:
            return "a broken stream";
    }
}

}  // namespace

void StreamCourierTest::SetUp() {
    ASSERT_TRUE(home_.IsValid());
    ASSERT_TRUE(host_.Listen(0));
}

std::vector<std::string> StreamCourierTest::Environment() const {
    return {"HOME=" + home_.Path(), "XDG_DOCUMENTS_DIR", "STREAMCOURIER_LOG_STDERR",
            "STREAMCOURIER_LOG_LEVEL"};
}

::testing::AssertionResult StreamCourierTest::StartSession() {
    if (!host_.StartProcess(SC_STREAMCOURIER_EXE, Environment())) {
        return ::testing::AssertionFailure() << "cannot start " << SC_STREAMCOURIER_EXE;
    }
    if (!host_.AcceptSession(kStartMs)) {
        return ::testing::AssertionFailure() << "StreamCourier did not connect";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StreamCourierTest::StartProgram(const std::string& exePath,
                                                           const std::vector<std::string>& args) {
    if (!host_.StartProcessWithArgs(exePath, args, Environment())) {
        return ::testing::AssertionFailure() << "cannot start " << exePath;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StreamCourierTest::NextMessageIs(const std::string& expected) {
    const qxhost::Received received = host_.Receive(kAnswerMs);
    if (received.status != qxhost::ReceiveStatus::kMessage) {
        return ::testing::AssertionFailure()
               << "expected " << expected << ", got " << StatusName(received.status);
    }
    if (received.payload != expected) {
        return ::testing::AssertionFailure()
               << "expected " << expected << ", got " << received.payload;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StreamCourierTest::KeepAliveAnswered() {
    if (!host_.Send(qxhost::CommandBuilder::KeepAlive())) {
        return ::testing::AssertionFailure() << "the session took no KeepAlive";
    }
    return NextMessageIs(KeepAliveAnswer());
}

::testing::AssertionResult StreamCourierTest::KeepAliveIsTheOnlyAnswer() {
    const std::string marker =
        qxhost::CommandBuilder(qxhost::CommandBuilder::kRemoveInput).Param("ContextID", -1).Text();
    if (!host_.Send(qxhost::CommandBuilder::KeepAlive()) || !host_.Send(marker)) {
        return ::testing::AssertionFailure() << "the session took no more commands";
    }
    const ::testing::AssertionResult answered = NextMessageIs(KeepAliveAnswer());
    if (!answered) {
        return answered;
    }
    const qxhost::Received next = host_.Receive(kAnswerMs);
    if (next.status != qxhost::ReceiveStatus::kMessage ||
        next.payload.rfind("<cmd id=\"4358\">", 0) != 0) {
        return ::testing::AssertionFailure() << "expected the RemoveInput answer 4358, got "
                                             << StatusName(next.status) << " " << next.payload;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StreamCourierTest::SessionCloses(int timeoutMs) {
    const qxhost::Received received = host_.Receive(timeoutMs);
    if (received.status != qxhost::ReceiveStatus::kClosed) {
        return ::testing::AssertionFailure()
               << "expected the session to close, got " << StatusName(received.status) << " "
               << received.payload;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StreamCourierTest::ExitsWithZero(int timeoutMs) {
    if (!host_.WaitExit(timeoutMs)) {
        return ::testing::AssertionFailure() << "still running after " << timeoutMs << " ms";
    }
    if (host_.ExitCode() != 0) {
        return ::testing::AssertionFailure() << "exit code " << host_.ExitCode();
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StreamCourierTest::NeverConnected() {
    if (host_.AcceptSession(0)) {
        return ::testing::AssertionFailure() << "StreamCourier connected to the host";
    }
    return ::testing::AssertionSuccess();
}

std::string StreamCourierTest::ReadLog() const {
    const std::filesystem::path folder =
        std::filesystem::path(home_.Path()) / "Documents/Wyn/QXDesktop/Log";
    std::error_code error;
    std::string text;
    std::filesystem::directory_iterator entry(folder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.rfind("StreamCourier-", 0) == 0) {
            std::ifstream file(entry->path(), std::ios::binary);
            std::ostringstream content;
            content << file.rdbuf();
            text += content.str();
        }
    }
    return text;
}

std::string StreamCourierTest::CopyInto(const std::string& file, const std::string& folder) {
    const std::filesystem::path target =
        std::filesystem::path(folder) / std::filesystem::path(file).filename();
    std::error_code error;
    if (!std::filesystem::copy_file(file, target, error)) {
        return std::string();
    }
    return target.string();
}

std::string StreamCourierTest::KeepAliveAnswer() {
    TiXmlElement answer("cmd");
    answer.SetAttribute("id", 4361);
    std::string text;
    text << answer;
    return text;
}

std::string StreamCourierTest::FrameLength(uint32_t length) {
    unsigned char prefix[4];
    EncodeFrameLength(length, prefix);
    return std::string(reinterpret_cast<const char*>(prefix), sizeof(prefix));
}

}  // namespace sctest
