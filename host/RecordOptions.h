// The recording commands qxhost builds from its command line:
//   --record path=P[,video=1][,audio=1][,fps=30][,vbitrate=2000][,region=X:Y:WxH]
//            [,window=ID][,samplerate=48000][,channels=2][,bits=16][,abitrate=128][,mp4=1]
//                                    RecordParam (bitrates in kbit/s; the path holds no comma)
//   record-pause, record-resume, record-stop    RecordOperation 1, 2, 0
//   record-time                                 RecordTime
// Stateless; any thread.
#pragma once

#include <string>

namespace qxhost {

// The RecordParam text for the value of --record. On failure returns false with `error` set.
bool ParseRecordOption(const std::string& value, std::string* text, std::string* error);

// The command text a record-* word stands for, or an empty text for any other word.
std::string ExpandRecordWord(const std::string& word);

}  // namespace qxhost
