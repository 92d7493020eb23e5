// Result codes and ids shared by the program and the component framework.
// Plain data only: no state, no threads.
#pragma once

#include <cstdint>
#include <cstring>

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// CreateComponent or the framework's create function: no such class.
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

inline bool QXSucceeded(HRESULT hr) {
    return hr >= 0;
}

// A 16-byte class or interface id.
struct QXGUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

inline bool operator==(const QXGUID& a, const QXGUID& b) {
    return std::memcmp(&a, &b, sizeof(QXGUID)) == 0;
}
inline bool operator!=(const QXGUID& a, const QXGUID& b) {
    return !(a == b);
}
