#include "base/Log.h"

#include <cstdarg>

#include "interfaces/QXIds.h"

ILogger* g_logger = nullptr;
uint32_t g_logModule = 0;

namespace {
// The log centre, fetched once per process and kept; the registration count of modules.
ILogCenter* g_logCenter = nullptr;
uint32_t g_registrations = 0;
}  // namespace

HRESULT RegisterLogModule(IComponentFactory* factory, const char* name, uint32_t flag,
                          ILogger** logger, uint32_t* module) {
    if (factory == nullptr || name == nullptr || logger == nullptr || module == nullptr) {
        return E_FAIL;
    }
    if (g_logCenter == nullptr) {
        void* center = nullptr;
        const HRESULT hr = factory->QueryInterface(IID_ILogCenter, &center);
        if (!QXSucceeded(hr) || center == nullptr) {
            return QXSucceeded(hr) ? E_FAIL : hr;
        }
        g_logCenter = static_cast<ILogCenter*>(center);
    }
    *logger = g_logCenter->GetLogger();
    *module = g_logCenter->RegisterModule(name, flag, kLogLevelInfo, 0);
    if (*module == 0) {
        *logger = nullptr;
        g_logCenter->Release();
        g_logCenter = nullptr;
        return E_INVALIDARG;
    }
    ++g_registrations;
    return S_OK;
}

bool InitLog(IUnknown* framework) {
    if (g_logger != nullptr && g_logModule != 0) {
        return true;
    }
    auto* factory = dynamic_cast<IComponentFactory*>(framework);
    if (factory == nullptr) {
        return false;
    }
    return QXSucceeded(RegisterLogModule(factory, "StreamCourier", 1, &g_logger, &g_logModule));
}

void WriteLog(const char* unit, int line, const char* format, ...) {
    ILogger* logger = g_logger;
    if (logger == nullptr || g_logModule == 0 ||
        logger->GetModuleLevel(g_logModule) >= kLogLevelSilent) {
        return;
    }
    ILogRecord* record =
        logger->BeginRecord(g_logModule, kLogLevelInfo, unit, static_cast<uint32_t>(line));
    if (record == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    record->FormatV(format, args);
    va_end(args);
    record->Release();
}
