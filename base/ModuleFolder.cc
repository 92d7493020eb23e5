#include "base/ModuleFolder.h"

#include <cstring>
#include <string>

#include "platform/FileSystem.h"

namespace KESTREL {

namespace {
char g_moduleFolder[kMaxPathChars];
}

const char* GetModuleFolder() {
    const std::string folder = platform::ExecutableFolder();
    if (folder.size() >= kMaxPathChars) {
        g_moduleFolder[0] = '\0';
    } else {
        std::memcpy(g_moduleFolder, folder.c_str(), folder.size() + 1);
    }
    return g_moduleFolder;
}

}  // namespace KESTREL
