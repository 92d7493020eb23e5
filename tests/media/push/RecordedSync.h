// The sync pattern found in a recording of the live output (an FLV file), in the recording's
// timeline:
//   - flashes: `ffmpeg -i out.flv -vf scale=32:18,showinfo -f null -`, a flash as FlashEdge
//     tells it from showinfo's mean luma;
//   - beep onsets: the left channel decoded (`ffmpeg -i out.flv -af pan=mono|c0=FL -f s16le`),
//     which must give 1024 samples for every AAC packet, and the packets' pts
//     (`ffprobe -show_entries packet=pts`); an onset is the first sample over 30 % of the
//     loudest after at least 200 ms under it; sample i lies in packet i / 1024 and plays at
//     that packet's pts + (i mod 1024) / 48 ms, as a player places it.
// Runs ffmpeg and ffprobe (from PATH) with their files in `folder`. Stateless; one thread.
#pragma once

#include <string>
#include <vector>

namespace rtmptest {

struct Onset {
    double ptsMs = 0;        // where a player plays it
    double packetPtsMs = 0;  // the pts of the AAC packet that holds it
    double inPacketMs = 0;
};

// Pts (ms) of the recording's flashes.
std::vector<double> RecordedFlashes(const std::string& folder, const std::string& recording);
// Beep onsets in the recording's sound; on failure `error` is set.
std::vector<Onset> RecordedOnsets(const std::string& folder, const std::string& recording,
                                  std::string* error);

}  // namespace rtmptest
