#include "base/SequenceChecker.h"

#include <cstdio>
#include <cstdlib>

namespace KESTREL {

bool SequenceChecker::IsCurrent() const {
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id expected;
    return bound_.compare_exchange_strong(expected, self) || expected == self;
}

void AssertRunOn(const SequenceChecker* checker, const char* where) {
#if defined(SC_DCHECK_ON)
    if (!checker->IsCurrent()) {
        std::fprintf(stderr, "%s: called on a thread that does not own it\n", where);
        std::abort();
    }
#else
    (void)checker;
    (void)where;
#endif
}

}  // namespace KESTREL
