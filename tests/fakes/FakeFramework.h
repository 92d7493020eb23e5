// A framework root for tests of contexts, outputs and recordings, with an empty configuration
// centre: its RecordingMixers and RecordingRecorders note every call as one line of its journal
// ("AddInput 100 -1 kind=1 crop=2 0,0,640x360", "WriteData 1024 7"); GetRecordTime answers 4321.
// Not reference counted: it outlives what it makes. Calls may come from several threads.
#pragma once

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "interfaces/IComponentFactory.h"
#include "interfaces/IConfigCenter.h"
#include "interfaces/IScreenRecorder.h"
#include "interfaces/IVideoMixer.h"
#include "interfaces/QXIds.h"
#include "tests/fakes/Journal.h"

namespace sctest {

class EmptyConfig : public IConfigCenter {
  public:
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    int32_t GetInt(const char*, int32_t fallback) override { return fallback; }
    HRESULT SetInt(const char*, int32_t) override { return S_OK; }
    HRESULT GetString(const char*, char*, size_t) override { return E_FAIL; }
    HRESULT SetString(const char*, const char*) override { return S_OK; }
};

class FakeFramework : public IComponentFactory {
  public:
    using Lines = std::vector<std::string>;

    HRESULT QueryInterface(const QXGUID& iid, void** out) override {
        *out = iid == IID_IConfigCenter       ? static_cast<void*>(&config_)
               : iid == IID_IComponentFactory ? static_cast<void*>(this)
                                              : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    HRESULT CreateComponent(const QXGUID& clsid, const QXGUID&, IUnknown*, void** out) override;

    // Notes the call's name and its arguments, separated by spaces, and answers S_OK.
    template <typename... Parts>
    HRESULT Note(const std::string& name, const Parts&... parts) {
        std::ostringstream line;
        line << name;
        ((line << ' ' << parts), ...);
        journal_.Note([&](Lines& lines) { lines.push_back(line.str()); });
        return S_OK;
    }
    // Waits (up to 10 s) until the journal holds `count` lines that start with `prefix`.
    bool WaitFor(const std::string& prefix, size_t count) {
        return journal_.WaitFor(
            [&](const Lines& lines) { return Starting(lines, prefix).size() >= count; }, 10000);
    }
    // The lines noted since the last Take.
    Lines Take() {
        Lines taken;
        journal_.Note([&](Lines& lines) { taken.swap(lines); });
        return taken;
    }
    // Lines of the journal that start with `prefix`, without taking them.
    Lines Starting(const std::string& prefix) { return Starting(journal_.Read(), prefix); }

    int32_t addInputResult = 0;                // what AddInput answers
    std::function<void(int32_t)> onWriteData;  // called with the handle before WriteData notes
    bool refuseRecorder = false;
    HRESULT recorderStartResult = S_OK;

  private:
    static Lines Starting(const Lines& lines, const std::string& prefix) {
        Lines starting;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(starting),
                     [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
        return starting;
    }

    EmptyConfig config_;
    fakes::Journal<Lines> journal_;
};

class RecordingMixer : public IVideoMixer {
  public:
    explicit RecordingMixer(FakeFramework* owner) : owner_(owner) {}
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
        if (--refs_ > 0) {
            return refs_;
        }
        delete this;
        return 0;
    }
    HRESULT Init(void*, MixedVideoCallback, const VideoMixerParam* p, IConfigCenter*) override {
        return owner_->Note("Init", Size(*p));
    }
    HRESULT EnableOutput(int32_t on) override { return owner_->Note("EnableOutput", on); }
    HRESULT SetOutputParam(const VideoMixerParam* p) override {
        return owner_->Note("SetOutputParam", Size(*p));
    }
    HRESULT Uninit() override { return owner_->Note("Uninit"); }
    int32_t AddInput(int32_t handle, int32_t position, const RenderPara* para) override {
        owner_->Note("AddInput", handle, position, Describe(*para));
        return owner_->addInputResult;
    }
    HRESULT DelInput(int32_t handle) override { return owner_->Note("DelInput", handle); }
    HRESULT SetInputSyncTimer(int32_t handle, IPlaySyncTime*) override {
        return owner_->Note("SetInputSyncTimer", handle);
    }
    HRESULT ResetInput(int32_t handle, int32_t reason, const RenderPara* para) override {
        return owner_->Note("ResetInput", handle, reason, Describe(*para));
    }
    HRESULT ResetAllInputParam(int32_t count, const int32_t* handles,
                               const RenderPara* paras) override {
        std::string line = "ResetAllInputParam";
        for (int32_t i = 0; i < count; ++i) {
            line += " " + std::to_string(handles[i]) + ":" + Describe(paras[i]);
        }
        return owner_->Note(line);
    }
    HRESULT WriteData(int32_t handle, const uint8_t*, uint32_t length,
                      const VideoFrameInfo* info) override {
        if (owner_->onWriteData) {
            owner_->onWriteData(handle);
        }
        return owner_->Note("WriteData", handle, length, Size(info->width, info->height));
    }
    HRESULT SetBitrate(int32_t bits) override { return owner_->Note("SetBitrate", bits); }
    HRESULT RequestKeyFrame() override { return owner_->Note("RequestKeyFrame"); }
    int32_t GetEncoderLevel() override { return 0; }

  private:
    ~RecordingMixer() override = default;
    static std::string Size(int32_t width, int32_t height) {
        return std::to_string(width) + "x" + std::to_string(height);
    }
    static std::string Size(const VideoMixerParam& p) {
        return Size(p.width, p.height) + "@" + std::to_string(p.frameRate);
    }
    static std::string Describe(const RenderPara& p) {
        return "kind=" + std::to_string(p.inputKind) + " crop=" + std::to_string(p.cropMode) + " " +
               std::to_string(p.x) + "," + std::to_string(p.y) + "," + Size(p.width, p.height) +
               (p.picture != nullptr ? " picture" : "");
    }

    FakeFramework* const owner_;
    int refs_ = 1;
};

class RecordingRecorder : public IScreenRecorder {
  public:
    explicit RecordingRecorder(FakeFramework* owner) : owner_(owner) {}
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override {
        owner_->Note("Release");
        delete this;
        return 0;
    }
    int32_t GetState() override { return kRecorderIdle; }
    HRESULT SetPause(int32_t pause) override { return owner_->Note("SetPause", pause); }
    HRESULT Stop() override { return owner_->Note("Stop"); }
    HRESULT WriteData(const uint8_t* data, int32_t length) override {
        return owner_->Note("WriteData", length, int{data[0]});
    }
    int32_t GetRecordTime() override { return 4321; }
    HRESULT Start(const RecordParams* params, const char16_t* path) override {
        owner_->Note("Start video=" + std::to_string(params->hasVideo) +
                     " rate=" + std::to_string(params->videoFrameRate) +
                     " mp4=" + std::to_string(params->mp4) +
                     " path=" + std::to_string(std::char_traits<char16_t>::length(path)));
        return owner_->recorderStartResult;
    }

  private:
    FakeFramework* const owner_;
};

inline HRESULT FakeFramework::CreateComponent(const QXGUID& clsid, const QXGUID&, IUnknown*,
                                              void** out) {
    *out = clsid == CLSID_ScreenRecorder && !refuseRecorder
               ? static_cast<void*>(static_cast<IScreenRecorder*>(new RecordingRecorder(this)))
           : clsid == CLSID_VideoMixer
               ? static_cast<void*>(static_cast<IVideoMixer*>(new RecordingMixer(this)))
               : nullptr;
    return *out != nullptr ? S_OK : REGDB_E_CLASSNOTREG;
}

}  // namespace sctest
