// A StreamCourier (started as ProcessFixture does) with an open session, the bench playing the
// meeting client: commands wait for their answers (Result 0), and Pump keeps the session alive
// (a KeepAlive every 2 s) while the media runs; `environment` goes to the program's. Driven by
// one thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/LiveMedia.h"
#include "bench/ProcessFixture.h"
#include "host/CommandBuilder.h"
#include "host/SessionAnswers.h"

namespace bench {

// A video input's place on the canvas.
// The canvas of SetOutParam.
struct Canvas {
    int32_t width = kCanvasWidth;
    int32_t height = kCanvasHeight;
    int32_t rate = kRate;
};

struct Placement {
    int32_t handle = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class HostSession {
  public:
    explicit HostSession(const std::vector<std::string>& environment = {})
        : process_(environment) {}
    // Creates the context.
    bool Open();
    bool AddInput(uint32_t user, int32_t type, int32_t* handle);
    // SetOutParam: the canvas at 30 fps, quality 2, pushed to `urls`.
    bool SetOutput(const std::vector<std::string>& urls, const std::vector<int32_t>& audio,
                   const std::vector<Placement>& video, const Canvas& canvas = {});
    // Keeps the session for `ms`: a KeepAlive every 2 s, answers read. False when it broke.
    bool Pump(uint32_t ms);
    // Pumps until `done` is true (checked every 200 ms) or `limitMs` passed.
    template <typename Done>
    bool PumpUntil(uint32_t limitMs, Done done) {
        for (uint32_t waited = 0; waited < limitMs && !done(); waited += 200) {
            if (!Pump(200)) {
                return false;
            }
        }
        return done();
    }
    int32_t Port() { return process_.host().Port(); }
    pid_t Pid() { return process_.host().Pid(); }
    long CpuTicks() const { return process_.CpuTicks(); }

  private:
    // Sends and waits for the answer.
    bool Command(const qxhost::CommandBuilder& builder);
    bool Send(const std::string& text);
    // Notes a message arriving within `timeoutMs`; false when the session broke.
    bool ReceiveOne(int timeoutMs);

    ProcessFixture process_;
    qxhost::SessionAnswers answers_;
    size_t inputs_ = 0;
    uint64_t nextKeepAliveUs_ = 0;
};

}  // namespace bench
