// The built libZivizar32.so as the program uses it: dlopen, QXDll, the init and create
// functions, a dynamic_cast of the root across the library boundary, each component, and a
// log line in the host folder's Log/ folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "interfaces/FrameworkEntry.h"
#include "interfaces/IComponentFactory.h"
#include "interfaces/ILogCenter.h"
#include "interfaces/QXIds.h"
#include "platform/DynamicLibrary.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

TEST(FrameworkLibraryTest, LoadsEntersAndHandsOutTheRootAndItsComponents) {
    // Kept for the process's life, as the program does (its root is made once per process).
    static platform::DynamicLibrary* const library = new platform::DynamicLibrary();
    static platform::TempFolder host("sc-host");
    if (!library->IsOpen()) {
        ASSERT_TRUE(library->Open(SC_FRAMEWORK_LIBRARY_PATH)) << library->LastError();
    }
    const auto entry =
        reinterpret_cast<FrameworkEntryFunction>(library->Symbol(kFrameworkEntryName));
    ASSERT_NE(entry, nullptr);

    EXPECT_EQ(entry(nullptr), E_INVALIDARG);
    FrameworkEntryTable table;
    table.Clear();
    const uint32_t tooSmall = FrameworkEntryTable::kCreateOffset;
    std::memcpy(table.bytes, &tooSmall, sizeof(tooSmall));
    EXPECT_EQ(entry(&table), E_INVALIDARG);
    EXPECT_EQ(table.InitFunction(), nullptr);
    table.Clear();
    ASSERT_EQ(entry(&table), S_OK);
    ASSERT_NE(table.InitFunction(), nullptr);
    ASSERT_NE(table.CreateFunction(), nullptr);

    const std::string hostFolder = host.Path() + "/";
    ASSERT_EQ(table.InitFunction()(0, "", hostFolder.c_str()), S_OK);

    const FrameworkCreateFunction create = table.CreateFunction();
    IUnknown* root = nullptr;
    EXPECT_EQ(create(&CLSID_ComponentFactory, nullptr), E_POINTER);
    EXPECT_EQ(create(&IID_ILogCenter, &root), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(root, nullptr);
    ASSERT_EQ(create(&CLSID_ComponentFactory, &root), S_OK);
    IUnknown* again = nullptr;
    ASSERT_EQ(create(&CLSID_ComponentFactory, &again), S_OK);
    EXPECT_EQ(again, root);
    again->Release();

    auto* factory = dynamic_cast<IComponentFactory*>(root);
    ASSERT_NE(factory, nullptr);
    void* sessions = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_ISessionManager2, &sessions), S_OK);
    static_cast<IUnknown*>(sessions)->Release();

    if (std::getenv("STREAMCOURIER_LOG_LEVEL") == nullptr) {  // NOLINT(concurrency-mt-unsafe)
        void* object = nullptr;
        ASSERT_EQ(factory->QueryInterface(IID_ILogCenter, &object), S_OK);
        auto* logCenter = static_cast<ILogCenter*>(object);
        const uint32_t module = logCenter->RegisterModule("FrameworkTest", 0, 0, 0);
        ILogRecord* record =
            logCenter->GetLogger()->BeginRecord(module, kLogLevelInfo, "tests/Library.cc", 1);
        ASSERT_NE(record, nullptr);
        record->Format("loaded");
        record->Release();
        logCenter->Release();
        size_t files = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(hostFolder + "Log", error)) {
            EXPECT_EQ(entry.path().filename().string().rfind("StreamCourier-", 0), 0u);
            ++files;
        }
        EXPECT_EQ(files, 1u);
    }
}

}  // namespace
}  // namespace framework_test
