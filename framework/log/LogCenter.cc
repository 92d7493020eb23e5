#include "framework/log/LogCenter.h"

#include "interfaces/QXIds.h"

namespace framework {

LogCenter::LogCenter(const LogOptions& options) : logger_(options) {}

HRESULT LogCenter::QueryInterface(const QXGUID& iid, void** out) {
    return QuerySingleInterface(iid, IID_ILogCenter, out);
}

uint32_t LogCenter::RegisterModule(const char* name, uint32_t /*flag*/, uint32_t /*level*/,
                                   uint32_t /*reserved*/) {
    return logger_.RegisterModule(name);
}

}  // namespace framework
