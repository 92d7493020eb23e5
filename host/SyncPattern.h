// The sync pattern, for measuring the A/V offset and the glass-to-glass latency of what
// StreamCourier pushes: pictures that are black except for one white picture at each sync
// instant, and sound that is silent except for a 1 kHz beep of 50 ms starting at each instant.
// The instants are the whole seconds of media time from 1 s on.
//
// How the instants of separate streams coincide: media time is counted from one start time.
// MediaFeeder::Start reads the clock once and hands that time to every stream, and a stream
// of rate r makes its unit k due k / r s after it (StreamFeed). The white picture is picture
// n * r, due at start + n s; the beep's first sample is sample n * sampleRate, which begins
// audio block n * blocksPerSecond (rates are whole numbers of units a second), also due at
// start + n s. Both are computed from indexes alone, so they agree exactly; what separates
// them in the writes is only each thread's wake-up delay.
//
// Stateless functions; any thread.
#pragma once

#include <cstdint>

namespace qxhost {
namespace sync_pattern {

constexpr uint32_t kPeriodSeconds = 1;
constexpr uint32_t kBeepHz = 1000;
constexpr uint32_t kBeepMs = 50;

// True when picture `index` of a stream of `rate` pictures a second is due at an instant.
bool IsFlash(uint64_t index, uint32_t rate);

// Draws a width x height I420 picture (Y, then U, then V with planes of (size + 1) / 2): white
// when `flash`, else black.
void RenderPicture(bool flash, uint16_t width, uint16_t height, uint8_t* frame);

// Sample `index` (counted per channel since the start) at `sampleRate`: the beep, a cosine
// that starts at its peak so that its first sample marks the instant, or silence. A host whose
// sound clock runs `speed` times ours (1.0005: 0.05 % fast) makes that many more samples a
// second, so its instants lie `speed` × sampleRate samples apart.
int16_t Sample(uint64_t index, uint32_t sampleRate, int16_t amplitude, double speed = 1.0);

}  // namespace sync_pattern
}  // namespace qxhost
