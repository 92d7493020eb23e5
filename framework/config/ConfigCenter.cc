#include "framework/config/ConfigCenter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "interfaces/QXIds.h"

namespace framework {

namespace {

struct DefaultSetting {
    const char* key;
    const char* value;
};

// The settings the components read, with their defaults: the video mixer's x264 encoder, the
// backlog above which a pusher drops video.
constexpr DefaultSetting kDefaults[] = {
    {"VideoMixer.Preset", "veryfast"},
    {"RtmpPusher.DropThresholdMs", "700"},
    {"VideoMixer.Tune", "zerolatency"},
};

bool ParseInt(const std::string& text, int32_t* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < std::numeric_limits<int32_t>::min() ||
        parsed > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    *value = static_cast<int32_t>(parsed);
    return true;
}

}  // namespace

ConfigCenter::ConfigCenter() {
    platform::MutexLock lock(mutex_);
    for (const DefaultSetting& setting : kDefaults) {
        settings_.emplace(setting.key, setting.value);
    }
}

HRESULT ConfigCenter::QueryInterface(const QXGUID& iid, void** out) {
    return QuerySingleInterface(iid, IID_IConfigCenter, out);
}

bool ConfigCenter::Lookup(const char* key, std::string* value) {
    if (key == nullptr) {
        return false;
    }
    platform::MutexLock lock(mutex_);
    const auto found = settings_.find(key);
    if (found == settings_.end()) {
        return false;
    }
    *value = found->second;
    return true;
}

int32_t ConfigCenter::GetInt(const char* key, int32_t fallback) {
    std::string text;
    int32_t value = 0;
    return Lookup(key, &text) && ParseInt(text, &value) ? value : fallback;
}

HRESULT ConfigCenter::SetInt(const char* key, int32_t value) {
    return SetString(key, std::to_string(value).c_str());
}

HRESULT ConfigCenter::GetString(const char* key, char* buffer, size_t size) {
    std::string value;
    if (buffer == nullptr || !Lookup(key, &value) || value.size() >= size) {
        return E_FAIL;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return S_OK;
}

HRESULT ConfigCenter::SetString(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) {
        return E_INVALIDARG;
    }
    platform::MutexLock lock(mutex_);
    settings_[key] = value;
    return S_OK;
}

}  // namespace framework
