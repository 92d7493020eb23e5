#include "bench/SyncFeed.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "bench/LiveMedia.h"
#include "host/SyncPattern.h"
#include "platform/Clock.h"

namespace bench {

void SyncFeed::Start() {
    startUs_ = platform::MonotonicMicros() + 20000;
    threads_.emplace_back([this] { WritePictures(); });
    if (withSound_) {
        threads_.emplace_back([this] { WriteSound(); });
    }
}

void SyncFeed::Stop() {
    stop_.store(true);
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void SyncFeed::WritePictures() {
    const size_t bytes = size_t{kCanvasWidth} * kCanvasHeight * 3 / 2;
    std::vector<uint8_t> black(bytes), white(bytes);
    qxhost::sync_pattern::RenderPicture(false, kCanvasWidth, kCanvasHeight, black.data());
    qxhost::sync_pattern::RenderPicture(true, kCanvasWidth, kCanvasHeight, white.data());
    uint32_t random = 1;
    for (uint64_t k = 0; !stop_.load(); ++k) {
        const bool flash = qxhost::sync_pattern::IsFlash(k, kRate);
        if (textured_ && !flash) {
            Texture(&random, &black);
        }
        SleepUntilMicros(startUs_ + k * 1000000 / kRate);
        const std::vector<uint8_t>& picture = flash ? white : black;
        const bool written =
            pictures_.Write(kTypePicture, 0, kVideoUser, kCanvasWidth, kCanvasHeight,
                            picture.data(),
                            static_cast<uint32_t>(bytes)) == qxhost::WriteResult::kWritten;
        const uint64_t now = platform::MonotonicMicros();
        if (!written) {
            refused_.fetch_add(1);
        } else if (flash) {
            Note(&flashUs_, k / kRate, now);
        }
    }
}

void SyncFeed::Texture(uint32_t* random, std::vector<uint8_t>* picture) {
    constexpr uint32_t kBlock = 8;
    for (uint32_t y = 0; y < kCanvasHeight; y += kBlock) {
        uint8_t* row = picture->data() + size_t{y} * kCanvasWidth;
        for (uint32_t x = 0; x < kCanvasWidth; x += kBlock) {
            *random = *random * 1664525u + 1013904223u;  // a linear congruential step
            std::fill_n(row + x, kBlock, static_cast<uint8_t>(16 + (*random >> 24) % 81));
        }
        for (uint32_t line = 1; line < kBlock; ++line) {
            std::copy_n(row, kCanvasWidth, row + size_t{line} * kCanvasWidth);
        }
    }
}

void SyncFeed::WriteSound() {
    std::mt19937 random(11);
    std::uniform_int_distribution<uint32_t> blockMs(10, 40);
    const double samplesPerSecond = kSampleRate * Speed();
    std::vector<uint8_t> block;
    uint64_t made = 0;
    uint64_t nextBeep = 1;
    while (!stop_.load()) {
        const uint32_t frames = device_.unevenBlocks ? blockMs(random) * kSampleRate / 1000
                                                     : kSampleRate / kBlocksPerSecond;
        RenderBlock(made, frames, &block);
        made += frames;
        SleepUntilMicros(startUs_ +
                         static_cast<uint64_t>(static_cast<double>(made) * 1e6 / samplesPerSecond));
        const bool written =
            sound_.Write(kTypeAudio, 0, kVideoUser, 0, 0, block.data(),
                         static_cast<uint32_t>(block.size())) == qxhost::WriteResult::kWritten;
        const uint64_t now = platform::MonotonicMicros();
        // Beep n begins at sample n * samplesPerSecond of the host's clock.
        const auto beepStart = [&](uint64_t n) {
            return static_cast<uint64_t>(std::llround(static_cast<double>(n) * samplesPerSecond));
        };
        for (; beepStart(nextBeep) < made; ++nextBeep) {
            if (written) {
                Note(&beepUs_, nextBeep, now);
            }
        }
        if (!written) {
            refused_.fetch_add(1);
        }
    }
}

void SyncFeed::RenderBlock(uint64_t first, uint32_t frames, std::vector<uint8_t>* block) const {
    block->resize(size_t{frames} * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t sample =
            qxhost::sync_pattern::Sample(first + i, kSampleRate, kBeepAmplitude, Speed());
        (*block)[2 * i] = static_cast<uint8_t>(sample);
        (*block)[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(sample) >> 8);
    }
}

void SyncFeed::Note(std::vector<uint64_t>* times, uint64_t n, uint64_t us) {
    if (times->size() <= n) {
        times->resize(n + 1, 0);
    }
    (*times)[n] = us;
}

}  // namespace bench
