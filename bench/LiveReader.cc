#include "bench/LiveReader.h"

#include "bench/FfmpegReader.h"
#include "bench/RtmpReader.h"

namespace bench {

std::unique_ptr<LiveReader> LiveReader::Make(bool ffmpeg, const std::string& folder,
                                             const std::string& url) {
    if (ffmpeg) {
        return std::make_unique<FfmpegReader>(folder, url);
    }
    return std::make_unique<RtmpReader>(url, true);
}

}  // namespace bench
