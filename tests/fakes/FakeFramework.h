// A framework root for tests of contexts, outputs and recordings: it answers for the
// configuration centre and makes RecordingMixers and RecordingRecorders, each of which writes
// every call it gets into the framework's journal as one line ("AddInput 100 -1 kind=1 crop=2
// 0,0,640x360", "WriteData 1024 7"). Not reference counted:
// it lives on the test's stack, longer than what it makes. Calls may come from several threads.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/IComponentFactory.h"
#include "interfaces/IConfigCenter.h"
#include "interfaces/IScreenRecorder.h"
#include "interfaces/IVideoMixer.h"
#include "interfaces/QXIds.h"

namespace sctest {

class FakeFramework : public IComponentFactory {
  public:
    HRESULT QueryInterface(const QXGUID& iid, void** out) override {
        *out = iid == IID_IConfigCenter       ? static_cast<void*>(&config_)
               : iid == IID_IComponentFactory ? static_cast<void*>(this)
                                              : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    HRESULT CreateComponent(const QXGUID& clsid, const QXGUID&, IUnknown*, void** out) override {
        *out = nullptr;
        if (clsid == CLSID_ScreenRecorder && !refuseRecorder) {
            *out = static_cast<IScreenRecorder*>(new RecordingRecorder(this));
            return S_OK;
        }
        if (clsid != CLSID_VideoMixer || refuseMixer) {
            return REGDB_E_CLASSNOTREG;
        }
        *out = static_cast<IVideoMixer*>(new RecordingMixer(this));
        return S_OK;
    }

    void Note(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        journal_.push_back(line);
        noted_.notify_all();
    }
    // Waits (up to 10 s) until the journal holds `count` lines that start with `prefix`.
    bool WaitFor(const std::string& prefix, size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return noted_.wait_for(lock, std::chrono::seconds(10), [&] {
            return static_cast<size_t>(std::count_if(journal_.begin(), journal_.end(),
                                                     [&](const std::string& line) {
                                                         return line.rfind(prefix, 0) == 0;
                                                     })) >= count;
        });
    }
    // The lines noted since the last Take.
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> lines;
        lines.swap(journal_);
        return lines;
    }
    // Lines of the journal that start with `prefix`, without taking them.
    std::vector<std::string> Starting(const std::string& prefix) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> lines;
        std::copy_if(journal_.begin(), journal_.end(), std::back_inserter(lines),
                     [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
        return lines;
    }

    // A mixer's WriteData for `handle` notes "Holding <handle>" and then waits (up to 2 s,
    // noting "HeldTooLong" if that passes) until ReleaseWrites.
    void HoldWritesOf(int32_t handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        heldHandle_ = handle;
    }
    void ReleaseWrites() {
        std::lock_guard<std::mutex> lock(mutex_);
        heldHandle_ = -1;
        noted_.notify_all();
    }
    void MaybeHold(int32_t handle) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (handle != heldHandle_) {
            return;
        }
        journal_.push_back("Holding " + std::to_string(handle));
        noted_.notify_all();
        if (!noted_.wait_for(lock, std::chrono::seconds(2),
                             [&] { return heldHandle_ != handle; })) {
            journal_.push_back("HeldTooLong");
        }
    }

    bool refuseMixer = false;
    int32_t addInputResult = 0;  // what AddInput answers
    bool refuseRecorder = false;
    HRESULT recorderStartResult = S_OK;
    static constexpr int32_t kRecordTime = 4321;  // what every recorder's GetRecordTime answers

  private:
    class RecordingMixer : public IVideoMixer {
      public:
        explicit RecordingMixer(FakeFramework* owner) : owner_(owner) {}
        HRESULT QueryInterface(const QXGUID&, void**) override { return E_NOINTERFACE; }
        uint32_t AddRef() override { return ++refs_; }
        uint32_t Release() override {
            if (--refs_ == 0) {
                delete this;
                return 0;
            }
            return refs_;
        }
        HRESULT Init(void*, MixedVideoCallback, const VideoMixerParam* p, IConfigCenter*) override {
            return Note("Init " + Size(*p));
        }
        HRESULT EnableOutput(int32_t enable) override {
            return Note("EnableOutput " + std::to_string(enable));
        }
        HRESULT SetOutputParam(const VideoMixerParam* p) override {
            return Note("SetOutputParam " + Size(*p));
        }
        HRESULT Uninit() override { return Note("Uninit"); }
        int32_t AddInput(int32_t handle, int32_t position, const RenderPara* para) override {
            Note("AddInput " + std::to_string(handle) + " " + std::to_string(position) + " " +
                 Describe(*para));
            return owner_->addInputResult;
        }
        HRESULT DelInput(int32_t handle) override {
            return Note("DelInput " + std::to_string(handle));
        }
        HRESULT SetInputSyncTimer(int32_t handle, IPlaySyncTime*) override {
            return Note("SetInputSyncTimer " + std::to_string(handle));
        }
        HRESULT ResetInput(int32_t handle, int32_t reason, const RenderPara* para) override {
            return Note("ResetInput " + std::to_string(handle) + " " + std::to_string(reason) +
                        " " + Describe(*para));
        }
        HRESULT ResetAllInputParam(int32_t count, const int32_t* handles,
                                   const RenderPara* paras) override {
            std::string line = "ResetAllInputParam";
            for (int32_t i = 0; i < count; ++i) {
                line += " " + std::to_string(handles[i]) + ":" + Describe(paras[i]);
            }
            return Note(line);
        }
        HRESULT WriteData(int32_t handle, const uint8_t*, uint32_t length,
                          const VideoFrameInfo* info) override {
            owner_->MaybeHold(handle);
            return Note("WriteData " + std::to_string(handle) + " " + std::to_string(length) + " " +
                        std::to_string(info->width) + "x" + std::to_string(info->height));
        }

        HRESULT SetBitrate(int32_t bitsPerSecond) override {
            return Note("SetBitrate " + std::to_string(bitsPerSecond));
        }
        HRESULT RequestKeyFrame() override { return Note("RequestKeyFrame"); }
        int32_t GetEncoderLevel() override { return 0; }

      private:
        ~RecordingMixer() override = default;
        HRESULT Note(const std::string& line) {
            owner_->Note(line);
            return S_OK;
        }
        static std::string Size(const VideoMixerParam& p) {
            return std::to_string(p.width) + "x" + std::to_string(p.height) + "@" +
                   std::to_string(p.frameRate);
        }
        static std::string Describe(const RenderPara& p) {
            return "kind=" + std::to_string(p.inputKind) + " crop=" + std::to_string(p.cropMode) +
                   " " + std::to_string(p.x) + "," + std::to_string(p.y) + "," +
                   std::to_string(p.width) + "x" + std::to_string(p.height) +
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
        HRESULT SetPause(int32_t pause) override {
            owner_->Note("SetPause " + std::to_string(pause));
            return S_OK;
        }
        HRESULT Stop() override {
            owner_->Note("Stop");
            return S_OK;
        }
        HRESULT WriteData(const uint8_t* data, int32_t length) override {
            owner_->Note("WriteData " + std::to_string(length) + " " + std::to_string(data[0]));
            return S_OK;
        }
        int32_t GetRecordTime() override { return kRecordTime; }
        HRESULT Start(const RecordParams* params, const char16_t* path) override {
            size_t units = 0;
            while (path[units] != 0) {
                ++units;
            }
            owner_->Note("Start video=" + std::to_string(params->hasVideo) +
                         " rate=" + std::to_string(params->videoFrameRate) +
                         " mp4=" + std::to_string(params->mp4) + " path=" + std::to_string(units));
            return owner_->recorderStartResult;
        }

      private:
        FakeFramework* const owner_;
    };

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

    EmptyConfig config_;

    std::mutex mutex_;
    std::condition_variable noted_;
    std::vector<std::string> journal_;
    int32_t heldHandle_ = -1;
};

}  // namespace sctest
