// A context's audio format, the fields of a WAVEFORMATEX in its order and widths: what the host
// says of the PCM it writes (default 16 kHz mono 16-bit). Plain data; no state, no threads.
#pragma once

#include <cstdint>

namespace streammanager {

struct WaveFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 16000;
    uint32_t avgBytesPerSec = 32000;
    uint16_t blockAlign = 2;
    uint16_t bitsPerSample = 16;
    uint16_t extraSize = 0;
};

}  // namespace streammanager
