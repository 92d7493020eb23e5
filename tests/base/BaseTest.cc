// The base classes: the element pool (its locking checked at compile time by thread-safety
// annotations, and under ThreadSanitizer by the real process's session and pump threads), the
// bounded message queue, the stoppable thread, UTF-8 to UTF-16, and the framework loader's paths
// that load nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/FrameworkLoader.h"
#include "base/TextConversion.h"
#include "base/WElementAllocator.h"
#include "base/WMsgQueue.h"
#include "base/WThread.h"

namespace {

using KESTREL::QueueWait;

// Whole blocks; freed elements are handed out again behind the fresh ones, in the order freed.
TEST(WElementAllocator, GrowsByBlocksAndReusesFreedElementsBehindTheFreshOnesInOrder) {
    KESTREL::WElementAllocator<int> pool(3);
    int *a = pool.Alloc(), *b = pool.Alloc();
    pool.Free(b);
    pool.Free(a);
    int* fresh = pool.Alloc();
    EXPECT_TRUE(fresh != a && fresh != b);
    EXPECT_EQ(b, pool.Alloc());
    EXPECT_EQ(a, pool.Alloc());
    EXPECT_NE(nullptr, pool.Alloc());  // a new block
}

TEST(WMsgQueue, KeepsOrderAcrossWrapsAndRefusesPastItsBound) {
    KESTREL::WMsgQueue<int> queue(3);
    std::vector<int> items(100);
    int* out = nullptr;
    for (int i = 0; i < 99; i += 3) {
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(queue.Push(&items[i + k]));
        }
        EXPECT_FALSE(queue.Push(&items[99]));
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(QueueWait::kItem, queue.Pop(&out, 0));
            ASSERT_EQ(&items[i + k], out);
        }
    }
    EXPECT_EQ(QueueWait::kTimeout, queue.Pop(&out, 1));
}

TEST(WMsgQueue, PushOrCloseWakesAWaitingConsumerAndCloseLeavesTheRestToDrain) {
    KESTREL::WMsgQueue<int> queue(4), left(4);
    int a = 1, b = 2;
    int* out = nullptr;
    QueueWait seen = QueueWait::kTimeout;
    std::thread pushed([&]() { seen = queue.Pop(&out, 60000); });
    ASSERT_TRUE(queue.Push(&a));
    pushed.join();
    EXPECT_TRUE(seen == QueueWait::kItem && out == &a);
    std::thread closed([&]() { seen = queue.Pop(&out, 60000); });
    queue.Close();
    closed.join();
    EXPECT_EQ(QueueWait::kClosed, seen);
    EXPECT_FALSE(queue.Push(&a));

    left.Push(&a);
    left.Push(&b);
    left.Close();
    std::vector<int*> drained;
    left.Drain([&](int* unit) { drained.push_back(unit); });
    EXPECT_EQ((std::vector<int*>{&a, &b}), drained);
    EXPECT_EQ(QueueWait::kClosed, left.Pop(&out, 0));  // nothing left
}

class WaitingThread : public KESTREL::WThread {
  public:
    ~WaitingThread() override { StopThread(); }
    int32_t ThreadProcEx() override {
        ++runs;
        StopEvent().Wait();
        stopSeen = StopRequested();
        return 0;
    }
    std::atomic<int> runs{0};
    std::atomic<bool> stopSeen{false};
};

TEST(WThread, WaitedStartRunsOnceStopWakesAndJoinsItAndItRestarts) {
    WaitingThread thread;
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(thread.StartThread(true, nullptr));
        EXPECT_TRUE(thread.StartThread(true, nullptr));  // keeps the running thread
        EXPECT_TRUE(thread.IsRunning());
        thread.StopThread();
        EXPECT_FALSE(thread.IsRunning());
        EXPECT_EQ(thread.runs.load(), round);
        EXPECT_TRUE(thread.stopSeen.exchange(false)) << "round " << round;
    }
}

TEST(TextConversion, Utf8ToUtf16NeedsRoomForTheTerminatorAndRefusesInvalidInput) {
    char16_t units[16];
    const char* utf8 = "K\xC3\xA4se \xE6\x9D\xB1\xF0\x9F\x98\x80";
    EXPECT_EQ(8u, KESTREL::Utf8ToUtf16(utf8, units, 10));  // the emoji is a surrogate pair
    EXPECT_EQ(std::u16string(u"K\u00e4se \u6771\U0001F600"), std::u16string(units));
    EXPECT_EQ(0u, KESTREL::Utf8ToUtf16(utf8, units, 9));  // 8 + terminator = 9
    for (const char* bad :
         {"\xC3" /* cut at the end */, "\xC0\xAF" /* overlong */, "\xED\xA0\x80" /* surrogate */,
          "\xF4\x90\x80\x80" /* past U+10FFFF */, "\xFF", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(0u, KESTREL::Utf8ToUtf16(bad, units, 16)) << (bad != nullptr ? bad : "null");
    }
}

// The loader keeps a loaded framework for the life of the process, so this binary only takes
// the paths that load nothing; the program's tests load the real library.
TEST(FrameworkLoader, MissingLibraryOverlongFolderAndLibraryWithoutEntryLoadNothing) {
    IUnknown* root = nullptr;
    EXPECT_EQ(E_FAIL, FWInitFrameWorkFromPath(0, "/nonexistent/folder/", "/nonexistent/", &root));
    const std::string folder = "/" + std::string(300, 'a') + "/";
    EXPECT_EQ(E_FAIL, FWInitFrameWorkFromPath(0, folder.c_str(), nullptr, &root));
    // The executable's folder is tried first and has no library, then the given folder.
    EXPECT_EQ(E_NOINTERFACE, FWInitFrameWorkFromPath(0, NO_ENTRY_FOLDER, "", &root));
    EXPECT_EQ(nullptr, root);
    EXPECT_EQ(E_POINTER, FWInitFrameWorkFromPath(0, NO_ENTRY_FOLDER, "", nullptr));
}

}  // namespace
