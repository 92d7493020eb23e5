// The program's diagnostic log access. InitLog registers the "StreamCourier" module with the
// framework's log centre once, on the main thread before any other thread starts; afterwards
// g_logger and g_logModule are only read, and any thread may write lines. Without a logger
// nothing is formatted and nothing fails.
#pragma once

#include <cstdint>

#include "interfaces/IComponentFactory.h"
#include "interfaces/ILogCenter.h"

extern ILogger* g_logger;
extern uint32_t g_logModule;

// True when a logger and module are registered (now or before).
bool InitLog(IUnknown* framework);

// Registers `name` with the factory's log centre. E_FAIL for a null argument, the
// QueryInterface failure as it came, E_INVALIDARG when the centre gives module id 0.
HRESULT RegisterLogModule(IComponentFactory* factory, const char* name, uint32_t flag,
                          ILogger** logger, uint32_t* module);

// Writes one line at level 2 tagged with the source unit and line.
void WriteLog(const char* unit, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#define SC_LOG(...) WriteLog(__FILE__, __LINE__, __VA_ARGS__)
// Function-entry trace: "%s()\n" with the qualified name.
#define SC_TRACE(name) SC_LOG("%s()\n", name)
