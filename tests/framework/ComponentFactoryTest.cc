// The root object: one instance of each process-wide component, unknown ids, per-user
// classes; and the configuration centre's defaults and copies.
#include <gtest/gtest.h>

#include "framework/ComponentFactory.h"
#include "framework/ConfigCenter.h"
#include "framework/RefCountedObject.h"
#include "interfaces/QXIds.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

using framework::ComponentFactory;
using framework::ConfigCenter;
using framework::LogOptions;
using framework::RefPtr;

constexpr QXGUID kUnknownId = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

class ComponentFactoryTest : public testing::Test {
  protected:
    platform::TempFolder temp_{"sc-root"};
    RefPtr<ComponentFactory> root_{new ComponentFactory(LogOptions{temp_.Path() + "/Log/"})};
};

TEST_F(ComponentFactoryTest, HandsOutOneInstanceOfEachProcessWideComponent) {
    for (const QXGUID& iid :
         {IID_ISessionManager2, IID_IMemoryAllocator, IID_ILogCenter, IID_IConfigCenter}) {
        void* first = nullptr;
        void* second = nullptr;
        ASSERT_EQ(root_->QueryInterface(iid, &first), S_OK);
        ASSERT_EQ(root_->QueryInterface(iid, &second), S_OK);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, second);
        // Two references handed out; the root keeps its own.
        EXPECT_EQ(static_cast<IUnknown*>(first)->Release(), 2u);
        EXPECT_EQ(static_cast<IUnknown*>(second)->Release(), 1u);
    }
    void* none = &none;
    EXPECT_EQ(root_->QueryInterface(kUnknownId, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(root_->QueryInterface(IID_ILogCenter, nullptr), E_POINTER);
}

HRESULT CreateConfigForTest(const QXGUID& iid, IUnknown* /*outer*/, void** out) {
    RefPtr<ConfigCenter> object(new ConfigCenter());
    return object->QueryInterface(iid, out);
}

TEST_F(ComponentFactoryTest, CreateComponentUsesTheRegisteredCreators) {
    void* object = &object;
    EXPECT_EQ(root_->CreateComponent(kUnknownId, IID_IUnknown, nullptr, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    root_->RegisterClass(kUnknownId, &CreateConfigForTest);
    ASSERT_EQ(root_->CreateComponent(kUnknownId, IID_IConfigCenter, nullptr, &object), S_OK);
    EXPECT_EQ(static_cast<IConfigCenter*>(object)->Release(), 0u);
}

TEST(ConfigCenterTest, HoldsDefaultsAndCopiesOnlyWhatFits) {
    RefPtr<ConfigCenter> config(new ConfigCenter());
    char buffer[32];
    ASSERT_EQ(config->GetString("VideoMixer.Preset", buffer, sizeof(buffer)), S_OK);
    EXPECT_STREQ(buffer, "veryfast");
    EXPECT_EQ(config->GetString("VideoMixer.Tune", buffer, 12), S_OK);  // exactly fits
    EXPECT_STREQ(buffer, "zerolatency");
    EXPECT_EQ(config->GetString("VideoMixer.Tune", buffer, 11), E_FAIL);
    EXPECT_EQ(config->GetString("Missing", buffer, sizeof(buffer)), E_FAIL);

    EXPECT_EQ(config->SetInt("Bitrate", -1500), S_OK);
    EXPECT_EQ(config->GetInt("Bitrate", 7), -1500);
    EXPECT_EQ(config->GetInt("VideoMixer.Preset", 7), 7);  // not a number
}

}  // namespace
}  // namespace framework_test
