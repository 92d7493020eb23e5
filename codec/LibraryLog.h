// FFmpeg's own lines go into our log instead of standard error: its errors and warnings at the
// level our lines are written at (2), at most ten a second (a broken stream can make one a
// unit), its information and chatter below it (1), where the log centre leaves them out unless
// asked. libavutil keeps one handler for the process, so the framework installs it once, when
// it starts, for every user of FFmpeg in the process.
// Free functions; any thread.
#pragma once

#include <cstdint>

namespace codec {

// Takes one finished line (without its line feed) and our level for it.
using LibraryLogSink = void (*)(uint32_t level, const char* line);

// Installs `sink` as the handler of FFmpeg's lines (null: they are dropped).
void InstallLibraryLog(LibraryLogSink sink);

}  // namespace codec
