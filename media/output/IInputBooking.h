// What an output needs of its context: taking the context's inputs into the composition and
// letting them go, by input handle. The Context implements it; the output holds it as a plain
// pointer for its own life (the context outlives its output). Called on the pump thread.
#pragma once

#include <cstdint>

namespace streammanager {

class IInputBooking {
  public:
    // The 16-bit result of attaching the output as the input's sink, or E_FAIL.
    virtual int32_t BookInput(int32_t inputHandle) = 0;
    virtual int32_t UnBookInput(int32_t inputHandle) = 0;
    // The input's media type, or 0 when no input has the handle.
    virtual uint8_t GetInputMediaType(int32_t inputHandle) = 0;

  protected:
    ~IInputBooking() = default;
};

}  // namespace streammanager
