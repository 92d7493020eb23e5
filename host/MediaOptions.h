// The media options of the qxhost command line, each a comma-separated list of key=value:
//   --video channel=3,user=7,size=640x360,rate=30[,media=0][,type=3][,pattern=test]
//   --h264  channel=2,user=7,size=640x360,rate=30,bitrate=800[,keyint=60][,pattern=test]
//   --audio channel=1,user=7,rate=50,hz=440[,samplerate=16000][,audiochannels=1][,pattern=tone]
//           [,ppm=N: the host's sound clock N ppm fast][,blocks=MIN-MAX: blocks of MIN to MAX ms]
//   --ring  rate=100,hz=440[,samplerate=48000][,audiochannels=2]   (the recording ring's PCM)
// Every kind also takes count=N (units), seconds=N (its own duration) and pattern=sync (see
// SyncPattern.h). `user` is required (not by --ring); the rest defaults as shown (keyint: two
// seconds of pictures). Stateless parsing; any thread.
#pragma once

#include <string>

#include "host/StreamFeed.h"

namespace qxhost {

// True when `option` is one of --video, --h264, --audio, --ring.
bool IsMediaOption(const std::string& option);

// Parses the value of a media option into `settings`. On failure returns false with `error`
// set.
bool ParseMediaOption(const std::string& option, const std::string& value, FeedSettings* settings,
                      std::string* error);

}  // namespace qxhost
