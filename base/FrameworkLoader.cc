#include "base/FrameworkLoader.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/ModuleFolder.h"
#include "base/WDynamicLibrary.h"
#include "interfaces/FrameworkEntry.h"
#include "interfaces/QXIds.h"
#include "platform/FileSystem.h"

namespace {

constexpr size_t kMaxLibraryPathChars = 256;

// The loaded library and its root, kept for the life of the process (never freed, so the
// library stays mapped while its objects live). The root's reference is never released.
struct LoadedFramework {
    KESTREL::WDynamicLibrary library;
    IUnknown* root = nullptr;
};
LoadedFramework* g_loaded = nullptr;  // set once, by the first load that succeeds

// Copies `text` into a zeroed buffer of `Size` characters, cut to fit.
template <size_t Size>
void CopyCut(const std::string& text, char (&buffer)[Size]) {
    std::memset(buffer, 0, Size);
    text.copy(buffer, Size - 1);
}

HRESULT LoadFromFolder(std::string folder, uint32_t flags, const char* folderList,
                       const char* hostFolder, IUnknown** root) {
    if (folder.empty()) {
        return E_FAIL;
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    const std::string path = folder + kFrameworkLibraryName;
    if (path.size() >= kMaxLibraryPathChars) {
        return E_FAIL;
    }
    auto loaded = std::make_unique<LoadedFramework>();
    if (!loaded->library.Load(path.c_str())) {
        return E_FAIL;
    }
    auto entry =
        reinterpret_cast<FrameworkEntryFunction>(loaded->library.GetProc(kFrameworkEntryName));
    if (entry == nullptr) {
        return E_NOINTERFACE;
    }
    FrameworkEntryTable table;
    table.Clear();
    HRESULT hr = entry(&table);
    if (!QXSucceeded(hr) || table.InitFunction() == nullptr || table.CreateFunction() == nullptr) {
        return QXSucceeded(hr) ? E_FAIL : hr;
    }
    char folders[kFrameworkFolderListChars];
    char host[kFrameworkHostFolderChars];
    CopyCut(folderList, folders);
    CopyCut(hostFolder, host);
    hr = table.InitFunction()(flags, folders, host);
    if (QXSucceeded(hr)) {
        hr = table.CreateFunction()(&CLSID_ComponentFactory, &loaded->root);
    }
    if (!QXSucceeded(hr) || loaded->root == nullptr) {
        return QXSucceeded(hr) ? E_FAIL : hr;
    }
    g_loaded = loaded.release();  // kept for the process's life, see LoadedFramework
    *root = g_loaded->root;
    (*root)->AddRef();
    return hr;
}

}  // namespace

HRESULT FWInitFrameWorkFromPath(uint32_t flags, const char* programFolder, const char* hostFolder,
                                IUnknown** root) {
    if (root == nullptr) {
        return E_POINTER;
    }
    if (g_loaded != nullptr) {
        *root = g_loaded->root;
        (*root)->AddRef();
        return S_OK;
    }
    std::string host = hostFolder != nullptr ? hostFolder : "";
    if (!platform::DirectoryExists(host)) {
        host.clear();
    }
    const std::string folderList = std::string(KESTREL::GetModuleFolder()) + ";" +
                                   (programFolder != nullptr ? programFolder : "");
    HRESULT hr = E_FAIL;
    size_t start = 0;
    for (;;) {
        const size_t end = folderList.find(';', start);
        const std::string folder = folderList.substr(start, end - start);
        hr = LoadFromFolder(folder, flags, folderList.c_str(), host.c_str(), root);
        if (QXSucceeded(hr) || end == std::string::npos) {
            return hr;
        }
        start = end + 1;
    }
}
