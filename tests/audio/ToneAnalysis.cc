#include "tests/audio/ToneAnalysis.h"

#include <algorithm>
#include <cmath>

namespace audiotest {

std::vector<int16_t> MakeTone(uint32_t rate, uint32_t channels, double frequency, double amplitude,
                              uint32_t frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2 * M_PI * frequency * i / rate);
        for (uint32_t c = 0; c < channels; ++c) {
            samples[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(std::lround(value));
        }
    }
    return samples;
}

double ToneFit::SnrDb() const {
    return 20 * std::log10((amplitude / std::sqrt(2.0)) / residualRms);
}

ToneFit FitTone(const std::vector<float>& samples, uint32_t channels, uint32_t channel,
                uint32_t rate, double frequency, size_t firstFrame) {
    // Normal equations of x ≈ a·sin + b·cos + c.
    double m[3][3] = {};
    double v[3] = {};
    const size_t frames = samples.size() / channels;
    for (size_t i = firstFrame; i < frames; ++i) {
        const double phase = 2 * M_PI * frequency * static_cast<double>(i) / rate;
        const double basis[3] = {std::sin(phase), std::cos(phase), 1.0};
        const double x = samples[i * channels + channel];
        for (int r = 0; r < 3; ++r) {
            v[r] += basis[r] * x;
            for (int c = 0; c < 3; ++c) {
                m[r][c] += basis[r] * basis[c];
            }
        }
    }
    // Cramer's rule on the 3×3 system.
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
               a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    double coef[3] = {};
    for (int k = 0; k < 3; ++k) {
        double mk[3][3];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                mk[r][c] = c == k ? v[r] : m[r][c];
            }
        }
        coef[k] = d != 0 ? det(mk) / d : 0;
    }
    ToneFit fit;
    fit.amplitude = std::hypot(coef[0], coef[1]);
    double sumSquares = 0;
    for (size_t i = firstFrame; i < frames; ++i) {
        const double phase = 2 * M_PI * frequency * static_cast<double>(i) / rate;
        const double model = coef[0] * std::sin(phase) + coef[1] * std::cos(phase) + coef[2];
        const double residual = samples[i * channels + channel] - model;
        sumSquares += residual * residual;
        fit.residualMax = std::max(fit.residualMax, std::fabs(residual));
    }
    fit.residualRms = frames > firstFrame ? std::sqrt(sumSquares / (frames - firstFrame)) : 0;
    return fit;
}

std::vector<float> ToFloat(const std::vector<int16_t>& samples) {
    return std::vector<float>(samples.begin(), samples.end());
}

}  // namespace audiotest
