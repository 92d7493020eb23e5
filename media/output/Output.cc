#include "media/output/Output.h"

namespace streammanager {

int32_t Output::Init(IInputBooking* context, IMemoryAllocator* memoryAllocator, IUnknown* framework,
                     const WaveFormat& waveFormat) {
    context_ = context;
    memoryAllocator_ = memoryAllocator;
    framework_ = framework;
    waveFormat_ = waveFormat;
    return 0;
}

void Output::RemoveMediaInput(uint8_t /*mediaType*/, int32_t /*inputHandle*/) {}

void Output::StopAllPushers() {}

int32_t Output::OnMediaData(int32_t /*inputHandle*/, const MediaDataDesc* /*desc*/,
                            const uint8_t* /*data*/, uint32_t /*length*/) {
    return 0;
}

int32_t Output::SetSyncTimer(int32_t /*inputHandle*/, IPlaySyncTime* /*clock*/) {
    return 0;
}

}  // namespace streammanager
