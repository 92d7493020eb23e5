// The configuration centre (IConfigCenter): settings kept in memory as text, seeded with the
// defaults at creation. Integers are stored as their decimal text.
// Owned by the root ComponentFactory for the process's life (or by whoever holds a reference).
// Threads: any; mutex_ guards the settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "framework/RefCountedObject.h"
#include "interfaces/IConfigCenter.h"
#include "platform/Mutex.h"

namespace framework {

class ConfigCenter : public RefCountedObject<IConfigCenter> {
  public:
    ConfigCenter();

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    // `fallback` when the key is missing or its value is not a whole decimal number.
    int32_t GetInt(const char* key, int32_t fallback) override;
    HRESULT SetInt(const char* key, int32_t value) override;
    HRESULT GetString(const char* key, char* buffer, size_t size) override;
    HRESULT SetString(const char* key, const char* value) override;

  private:
    ~ConfigCenter() override = default;

    bool Lookup(const char* key, std::string* value);

    platform::Mutex mutex_;
    std::map<std::string, std::string> settings_ GUARDED_BY(mutex_);
};

}  // namespace framework
