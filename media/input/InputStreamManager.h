// Holds a context's five channel receivers (1, 2, 3, 5, 6) and keeps the context registered as
// their target. Created, initialised and destroyed on the pump thread; no lock of its own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "media/input/IStreamDataTarget.h"
#include "media/input/InputStream.h"

namespace streammanager {

class InputStreamManager {
  public:
    InputStreamManager() = default;
    // Unregisters from the receivers in the order 6, 5, 3, 2, 1 and lets them go.
    ~InputStreamManager();
    InputStreamManager(const InputStreamManager&) = delete;
    InputStreamManager& operator=(const InputStreamManager&) = delete;

    // Fills the empty slots and registers `target`; returns 0 even when a receiver could not
    // start.
    int32_t Init(IStreamDataTarget* target, int32_t port);

  private:
    IStreamDataTarget* target_ = nullptr;
    std::array<std::shared_ptr<InputStream>, 5> receivers_;
};

}  // namespace streammanager
