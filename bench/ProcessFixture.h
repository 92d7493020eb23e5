// A running StreamCourier with an open host session, for benchmarks. Logs go to a scratch
// HOME; `environment` ("NAME=value") is added to the program's. Used by one benchmark thread.
#pragma once

#include <string>
#include <vector>

#include "host/HostSimulator.h"

namespace bench {

class ProcessFixture {
  public:
    explicit ProcessFixture(const std::vector<std::string>& environment = {});
    ~ProcessFixture();
    bool ok() const { return ok_; }
    qxhost::HostSimulator& host() { return host_; }
    // Resident memory in KiB and CPU time (user + system) in clock ticks, from /proc.
    long ResidentKib() const;
    long CpuTicks() const;

  private:
    std::string home_;
    qxhost::HostSimulator host_;
    bool ok_ = false;
};

}  // namespace bench
