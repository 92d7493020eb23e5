#include "media/push/WireBacklog.h"

namespace streammanager {

void WireBacklog::Sent(uint64_t mediaMs, uint64_t writtenAfter) {
    if (entries_.size() == kMaxEntries) {
        entries_.pop_front();
    }
    entries_.push_back(Entry{writtenAfter, mediaMs});
}

bool WireBacklog::Oldest(uint64_t acked, uint64_t* mediaMs) {
    while (!entries_.empty() && entries_.front().end <= acked) {
        entries_.pop_front();
    }
    if (entries_.empty()) {
        return false;
    }
    *mediaMs = entries_.front().mediaMs;
    return true;
}

}  // namespace streammanager
