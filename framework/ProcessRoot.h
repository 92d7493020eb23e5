// The framework's state behind the library's two entry functions: the folders handed to the
// init function and the process's one root object.
//
// Made on first use and never destroyed, and the root it holds is never released: the program
// keeps the root for the process's whole life, and no static destructor then runs while
// session threads or the program may still call in. At exit (or if the library is unloaded) a
// handler registered with atexit closes the sessions still open, so their threads are joined.
// Threads: any thread calls Init and Create. mutex_ guards the folders and the root.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ComponentFactory.h"
#include "framework/log/ModuleLog.h"
#include "interfaces/IUnknown.h"
#include "platform/Mutex.h"

namespace framework {

class ProcessRoot {
  public:
    static ProcessRoot& Instance();

    // Remembers the folders; the log folder is "<hostFolder>Log/".
    HRESULT Init(uint32_t flags, const char* folders, const char* hostFolder);
    // The root object for CLSID_ComponentFactory (made once, with a new reference for the
    // caller); REGDB_E_CLASSNOTREG for other ids.
    HRESULT Create(const QXGUID* clsid, IUnknown** out);

  private:
    ProcessRoot() = default;

    // "<host folder>Log/", or "<documents>/Wyn/QXDesktop/Log/" when init gave no host folder.
    std::string LogFolder() REQUIRES(mutex_);
    // The log of the "VideoMixer" module, registered with the root's log centre on first use.
    ModuleLog MixerLog();
    static HRESULT CreateVideoMixer(const QXGUID& iid, IUnknown* outer, void** out);
    // The log of the "ScreenRecorder" module, registered with the root's log centre on first use.
    ModuleLog RecorderLog();
    // `log`, registered with the log centre under `module` on first use.
    ModuleLog RegisteredLog(ModuleLog* log, const char* module) REQUIRES(mutex_);
    static HRESULT CreateScreenRecorder(const QXGUID& iid, IUnknown* outer, void** out);
    static void CloseSessionsAtExit();
    // FFmpeg's lines, into the "FFmpeg" module's log (set up once, with the root).
    static void WriteLibraryLine(uint32_t level, const char* line);

    platform::Mutex mutex_;
    std::string hostFolder_ GUARDED_BY(mutex_);
    std::string folders_ GUARDED_BY(mutex_);
    RefPtr<ComponentFactory> root_ GUARDED_BY(mutex_);
    ModuleLog mixerLog_ GUARDED_BY(mutex_);
    ModuleLog recorderLog_ GUARDED_BY(mutex_);
    // Written once, before FFmpeg's lines are sent to it; read by any thread afterwards.
    ModuleLog libraryLog_;
};

}  // namespace framework
