#include "framework/ProcessRoot.h"

#include <algorithm>
#include <cstdlib>
#include <new>

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
        // Per-user classes (video mixer, screen recorder) are registered here with
        // root_->RegisterClass as they are added.
        std::atexit(&ProcessRoot::CloseSessionsAtExit);
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
