#include "framework/ProcessRoot.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "codec/LibraryLog.h"
#include "framework/mixer/VideoMixer.h"
#include "framework/recorder/ScreenRecorder.h"
#include "interfaces/FrameworkEntry.h"
#include "interfaces/QXIds.h"
#include "platform/FileSystem.h"

namespace framework {

namespace {

// The text of a fixed-size character buffer, up to its terminator or its end.
std::string BoundedText(const char* text, size_t capacity) {
    return text == nullptr ? std::string()
                           : std::string(text, std::find(text, text + capacity, '\0'));
}

}  // namespace

ProcessRoot& ProcessRoot::Instance() {
    static ProcessRoot* const instance = new ProcessRoot();
    return *instance;
}

HRESULT ProcessRoot::Init(uint32_t /*flags*/, const char* folders, const char* hostFolder) {
    platform::MutexLock lock(mutex_);
    folders_ = BoundedText(folders, kFrameworkFolderListChars);
    hostFolder_ = BoundedText(hostFolder, kFrameworkHostFolderChars);
    return S_OK;
}

HRESULT ProcessRoot::Create(const QXGUID* clsid, IUnknown** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (clsid == nullptr || *clsid != CLSID_ComponentFactory) {
        return REGDB_E_CLASSNOTREG;
    }
    platform::MutexLock lock(mutex_);
    if (root_ == nullptr) {
        root_.reset(new (std::nothrow) ComponentFactory(LogOptions::FromEnvironment(LogFolder())));
        if (root_ == nullptr) {
            return E_OUTOFMEMORY;
        }
        root_->RegisterClass(CLSID_VideoMixer, &ProcessRoot::CreateVideoMixer);
        root_->RegisterClass(CLSID_ScreenRecorder, &ProcessRoot::CreateScreenRecorder);
        std::atexit(&ProcessRoot::CloseSessionsAtExit);
        ModuleLog library;
        libraryLog_ = RegisteredLog(&library, "FFmpeg");
        codec::InstallLibraryLog(&ProcessRoot::WriteLibraryLine);
    }
    root_->AddRef();
    *out = root_.get();
    return S_OK;
}

std::string ProcessRoot::LogFolder() {
    if (!hostFolder_.empty()) {
        return hostFolder_ + (hostFolder_.back() == '/' ? "" : "/") + "Log/";
    }
    const std::string documents = platform::DocumentsFolder();
    return documents.empty() ? std::string() : documents + "/Wyn/QXDesktop/Log/";
}

ModuleLog ProcessRoot::MixerLog() {
    platform::MutexLock lock(mutex_);
    return RegisteredLog(&mixerLog_, "VideoMixer");
}

HRESULT ProcessRoot::CreateVideoMixer(const QXGUID& iid, IUnknown* /*outer*/, void** out) {
    return VideoMixer::Create(iid, out, Instance().MixerLog());
}

ModuleLog ProcessRoot::RecorderLog() {
    platform::MutexLock lock(mutex_);
    return RegisteredLog(&recorderLog_, "ScreenRecorder");
}

ModuleLog ProcessRoot::RegisteredLog(ModuleLog* log, const char* module) {
    if (log->logger == nullptr && root_ != nullptr) {
        void* center = nullptr;
        if (root_->QueryInterface(IID_ILogCenter, &center) == S_OK && center != nullptr) {
            auto* logCenter = static_cast<ILogCenter*>(center);
            log->logger = logCenter->GetLogger();
            log->module = logCenter->RegisterModule(module, 1, kLogLevelInfo, 0);
            logCenter->Release();  // the root keeps the centre for the process's life
        }
    }
    return *log;
}

HRESULT ProcessRoot::CreateScreenRecorder(const QXGUID& iid, IUnknown* /*outer*/, void** out) {
    return ScreenRecorder::Create(iid, out, Instance().RecorderLog());
}

void ProcessRoot::WriteLibraryLine(uint32_t level, const char* line) {
    Instance().libraryLog_.WriteAt(level, "FFmpeg", 0, "%s\n", line);
}

void ProcessRoot::CloseSessionsAtExit() {
    ProcessRoot& self = Instance();
    ComponentFactory* root = nullptr;
    {
        platform::MutexLock lock(self.mutex_);
        root = self.root_.get();
    }
    root->CloseAllSessions();
}

}  // namespace framework
