// Finds the flashes in a run of pictures: a picture is white when its mean luma is over 128,
// and the first white picture after one that is not is a flash. One per run; one thread.
#pragma once

namespace rtmptest {

class FlashEdge {
  public:
    static constexpr double kWhiteLuma = 128;  // black is 16, white 235

    // Takes the next picture's mean luma; true when that picture is a flash.
    bool IsFlash(double luma) {
        const bool white = luma > kWhiteLuma;
        const bool flash = white && !wasWhite_;
        wasWhite_ = white;
        return flash;
    }

  private:
    bool wasWhite_ = false;
};

}  // namespace rtmptest
