// Holds a port's five receivers for the whole fuzz run, so the contexts a target makes and drops
// join and leave running receivers instead of starting their threads for every input.
#pragma once

#include <cstdint>

#include "media/input/IStreamDataTarget.h"
#include "media/input/InputStreamManager.h"

namespace scfuzz {

class ReceiverAnchor : public streammanager::IStreamDataTarget {
  public:
    explicit ReceiverAnchor(int32_t port) { receivers_.Init(this, port); }

    void OnStreamData(uint8_t, uint8_t, const uint8_t*, uint32_t, uint32_t, uint16_t,
                      uint16_t) override {}

  private:
    streammanager::InputStreamManager receivers_;
};

}  // namespace scfuzz
