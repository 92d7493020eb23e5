// The root object: one instance of each process-wide component, unknown ids, registered
// classes; and the configuration centre's copies.
#include <gtest/gtest.h>

#include "framework/ComponentFactory.h"
#include "framework/RefCountedObject.h"
#include "framework/config/ConfigCenter.h"
#include "interfaces/QXIds.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

using framework::ComponentFactory;
using framework::ConfigCenter;

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

}  // namespace
}  // namespace framework_test
