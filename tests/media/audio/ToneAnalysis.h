// Sine tones as 16-bit PCM, and the fit of a sine of known frequency to one channel of
// interleaved samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace audiotest {

inline std::vector<int16_t> MakeTone(uint32_t rate, uint32_t channels, double frequency,
                                     double amplitude, uint32_t frames) {
    std::vector<int16_t> samples;
    for (uint32_t i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2 * M_PI * frequency * i / rate);
        samples.insert(samples.end(), channels, static_cast<int16_t>(std::lround(value)));
    }
    return samples;
}

struct ToneFit {
    double amplitude = 0;
    double residualRms = 0;
    double residualMax = 0;
    double SnrDb() const { return 20 * std::log10(amplitude / std::sqrt(2.0) / residualRms); }
};

// Fits a·sin + b·cos + c over the whole periods from frame `firstFrame` on; `rate` must hold a
// whole number of periods, so that the three are orthogonal there.
template <typename Sample>
ToneFit FitTone(const std::vector<Sample>& samples, uint32_t channels, uint32_t channel,
                uint32_t rate, double frequency, size_t firstFrame) {
    const size_t period = static_cast<size_t>(std::lround(rate / frequency));
    const size_t count = (samples.size() / channels - firstFrame) / period * period;
    auto x = [&](size_t i) { return static_cast<double>(samples[i * channels + channel]); };
    auto phase = [&](size_t i) { return 2 * M_PI * frequency * static_cast<double>(i) / rate; };
    double a = 0, b = 0, c = 0;
    for (size_t i = firstFrame; i < firstFrame + count; ++i) {
        a += 2 * x(i) * std::sin(phase(i)) / count;
        b += 2 * x(i) * std::cos(phase(i)) / count;
        c += x(i) / count;
    }
    ToneFit fit;
    fit.amplitude = std::hypot(a, b);
    for (size_t i = firstFrame; i < firstFrame + count; ++i) {
        const double residual = x(i) - a * std::sin(phase(i)) - b * std::cos(phase(i)) - c;
        fit.residualRms += residual * residual / count;
        fit.residualMax = std::max(fit.residualMax, std::fabs(residual));
    }
    fit.residualRms = std::sqrt(fit.residualRms);
    return fit;
}

}  // namespace audiotest
