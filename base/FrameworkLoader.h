// Loads the component framework library once per process and creates its root object. The
// library is never unloaded. Called from the main thread during start-up.
#pragma once

#include <cstdint>

#include "interfaces/IUnknown.h"

// Tries the executable's folder, then `programFolder`, for the framework library; a host folder
// that does not exist is passed on as empty. Stores an AddRef'd root in *root.
// E_FAIL when no folder has a loadable library, E_NOINTERFACE when the library has no entry,
// else the framework's own failure.
HRESULT FWInitFrameWorkFromPath(uint32_t flags, const char* programFolder, const char* hostFolder,
                                IUnknown** root);
