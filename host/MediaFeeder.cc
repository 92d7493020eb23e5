#include "host/MediaFeeder.h"

#include "platform/Clock.h"

namespace qxhost {

MediaFeeder::~MediaFeeder() {
    Stop();
}

bool MediaFeeder::AddStream(const FeedSettings& settings, std::string* error) {
    if (opened_) {
        *error = "streams are added before the feeder opens";
        return false;
    }
    auto stream = std::make_unique<StreamFeed>(settings);
    if (!stream->Prepare(error)) {
        return false;
    }
    streams_.push_back(std::move(stream));
    return true;
}

bool MediaFeeder::Open(std::string* error) {
    for (const auto& stream : streams_) {
        const uint8_t channel = stream->Settings().channel;
        if (channels_.count(channel) != 0) {
            continue;
        }
        auto shared = std::make_unique<SharedWriter>(channel, port_);
        if (!shared->Open()) {
            *error = "cannot open the shared objects of channel " + std::to_string(channel) +
                     " on port " + std::to_string(port_);
            return false;
        }
        channels_[channel] = std::move(shared);
    }
    opened_ = true;
    return true;
}

bool MediaFeeder::Start() {
    if (!opened_ || started_) {
        return false;
    }
    started_ = true;
    running_.store(streams_.size());
    if (streams_.empty()) {
        finished_.Set();
    }
    const uint64_t startMicros = platform::MonotonicMicros();
    for (const auto& stream : streams_) {
        SharedWriter* channel = channels_[stream->Settings().channel].get();
        threads_.emplace_back(&MediaFeeder::RunStream, this, stream.get(), channel, startMicros);
    }
    return true;
}

void MediaFeeder::Stop() {
    stop_.Set();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

FeedCounts MediaFeeder::Counts(size_t stream) const {
    FeedCounts counts;
    counts.written = streams_[stream]->Written();
    counts.refused = streams_[stream]->Refused();
    return counts;
}

void MediaFeeder::RunStream(StreamFeed* stream, SharedWriter* channel, uint64_t startMicros) {
    stream->Run(channel, &stop_, startMicros);
    if (running_.fetch_sub(1) == 1) {
        finished_.Set();
    }
}

}  // namespace qxhost
