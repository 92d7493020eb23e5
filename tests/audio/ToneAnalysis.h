// Test signals and their measurement: sine tones as 16-bit PCM, and a least-squares fit of a
// tone of known frequency to one channel of interleaved samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace audiotest {

// `frames` frames of a sine of `frequency` Hz and `amplitude` at `rate`, the same in every
// channel, interleaved.
std::vector<int16_t> MakeTone(uint32_t rate, uint32_t channels, double frequency, double amplitude,
                              uint32_t frames);

struct ToneFit {
    double amplitude = 0;    // of the fitted sine
    double residualRms = 0;  // what the sine (and an offset) does not explain
    double residualMax = 0;
    double SnrDb() const;
};

// Fits a sine of `frequency` to channel `channel` of `samples` (interleaved, `channels` wide),
// over the frames from `firstFrame` on.
ToneFit FitTone(const std::vector<float>& samples, uint32_t channels, uint32_t channel,
                uint32_t rate, double frequency, size_t firstFrame);

std::vector<float> ToFloat(const std::vector<int16_t>& samples);

}  // namespace audiotest
