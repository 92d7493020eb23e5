// The root object (one instance of each process-wide component, unknown ids, registered
// classes), the configuration centre's copies, and the memory allocator's pooled buffers: sizes,
// write bounds, reuse within a size class, buffers that outlive it, and threads at once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "framework/ComponentFactory.h"
#include "framework/RefCountedObject.h"
#include "framework/config/ConfigCenter.h"
#include "framework/memory/MemoryAllocator.h"
#include "interfaces/QXIds.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

using framework::ComponentFactory;
using framework::ConfigCenter;
using framework::MemoryAllocator;

constexpr QXGUID kUnknownId = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

HRESULT CreateConfigForTest(const QXGUID& iid, IUnknown* /*outer*/, void** out) {
    RefPtr<ConfigCenter> object(new ConfigCenter());
    return object->QueryInterface(iid, out);
}

TEST(ComponentFactoryTest, HandsOutOneInstanceOfEachComponentAndCreatesRegisteredClasses) {
    platform::TempFolder temp("sc-root");
    RefPtr<ComponentFactory> root(new ComponentFactory(framework::LogOptions{temp.Path() + "/"}));
    for (const QXGUID& iid :
         {IID_ISessionManager2, IID_IMemoryAllocator, IID_ILogCenter, IID_IConfigCenter}) {
        void* first = nullptr;
        void* second = nullptr;
        ASSERT_EQ(root->QueryInterface(iid, &first), S_OK);
        ASSERT_EQ(root->QueryInterface(iid, &second), S_OK);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, second);
        EXPECT_EQ(static_cast<IUnknown*>(first)->Release(), 2u);  // the root keeps its own
        EXPECT_EQ(static_cast<IUnknown*>(second)->Release(), 1u);
    }
    void* object = &object;
    EXPECT_EQ(root->QueryInterface(kUnknownId, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(root->QueryInterface(IID_ILogCenter, nullptr), E_POINTER);

    object = &object;
    EXPECT_EQ(root->CreateComponent(kUnknownId, IID_IUnknown, nullptr, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    root->RegisterClass(kUnknownId, &CreateConfigForTest);
    ASSERT_EQ(root->CreateComponent(kUnknownId, IID_IConfigCenter, nullptr, &object), S_OK);
    EXPECT_EQ(static_cast<IConfigCenter*>(object)->Release(), 0u);
}

TEST(ConfigCenterTest, CopiesOnlyWhatFits) {
    RefPtr<ConfigCenter> config(new ConfigCenter());
    char buffer[32];
    EXPECT_EQ(config->GetString("VideoMixer.Tune", buffer, 12), S_OK);  // exactly fits
    EXPECT_STREQ(buffer, "zerolatency");
    EXPECT_EQ(config->GetString("VideoMixer.Tune", buffer, 11), E_FAIL);
    EXPECT_EQ(config->GetString("Missing", buffer, sizeof(buffer)), E_FAIL);
    EXPECT_EQ(config->SetInt("Bitrate", -1500), S_OK);
    EXPECT_EQ(config->GetInt("Bitrate", 7), -1500);
    EXPECT_EQ(config->GetInt("VideoMixer.Tune", 7), 7);  // not a number
}

TEST(MemoryAllocatorTest, GivesBuffersOfAtLeastTheSizeAndWritesOnlyWithinTheirCapacity) {
    RefPtr<MemoryAllocator> allocator(new MemoryAllocator());
    constexpr uint32_t kLargest = 64u << 20;
    for (const uint32_t size : {0u, 257u, kLargest}) {
        IMemoryBuffer* buffer = allocator->Allocate(size);
        ASSERT_NE(buffer, nullptr) << size;
        EXPECT_TRUE(buffer->GetCapacity() >= size && buffer->GetLength() == 0u) << size;
        buffer->Release();
    }
    EXPECT_EQ(allocator->Allocate(kLargest + 1), nullptr);

    IMemoryBuffer* buffer = allocator->Allocate(300);
    const std::string full(buffer->GetCapacity(), 'f');
    ASSERT_EQ(buffer->Write(full.data(), buffer->GetCapacity()), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer->GetData()), buffer->GetLength()), full);
    EXPECT_EQ(buffer->Write("x", buffer->GetCapacity() + 1), E_INVALIDARG);
    EXPECT_EQ(buffer->GetLength(), buffer->GetCapacity());  // unchanged
    EXPECT_EQ(buffer->Write("ab", 2), S_OK);
    EXPECT_EQ(buffer->GetLength(), 2u);
    buffer->Release();
}

TEST(MemoryAllocatorTest, LastReleaseReturnsTheBufferForReuseInItsSizeClass) {
    RefPtr<MemoryAllocator> allocator(new MemoryAllocator());
    IMemoryBuffer* first = allocator->Allocate(1000);
    ASSERT_EQ(first->Write("data", 4), S_OK);
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);
    IMemoryBuffer* other = allocator->Allocate(1000);  // first is still held
    EXPECT_NE(other, first);
    uint8_t* const data = first->GetData();
    EXPECT_EQ(first->Release(), 0u);
    IMemoryBuffer* reused = allocator->Allocate(700);  // same class as 1000
    EXPECT_TRUE(reused == first && reused->GetData() == data && reused->GetLength() == 0u);
    IMemoryBuffer* smaller = allocator->Allocate(100);  // another class
    EXPECT_NE(smaller, first);
    for (IMemoryBuffer* buffer : {smaller, reused, other}) {
        buffer->Release();
    }
    // A buffer may outlive its allocator.
    IMemoryBuffer* kept = allocator->Allocate(64);
    allocator.reset();
    EXPECT_EQ(kept->Write("still mine", 10), S_OK);
    EXPECT_EQ(std::memcmp(kept->GetData(), "still mine", 10), 0);
    EXPECT_EQ(kept->Release(), 0u);
}

TEST(MemoryAllocatorTest, ThreadsAllocateAndReleaseAtOnce) {
    RefPtr<MemoryAllocator> allocator(new MemoryAllocator());
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&allocator, t, &failures] {
            for (uint32_t i = 0; i < 2000; ++i) {
                const uint32_t value = i * 4 + static_cast<uint32_t>(t);
                IMemoryBuffer* buffer = allocator->Allocate(256u << (i % 5));
                buffer->AddRef();
                buffer->Write(&value, sizeof(value));
                uint32_t read = 0;
                std::memcpy(&read, buffer->GetData(), sizeof(read));
                failures[t] += read != value;
                buffer->Release();
                buffer->Release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace framework_test
