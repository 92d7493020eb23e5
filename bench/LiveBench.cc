// bench_live: end-to-end benchmarks of the live output. A real StreamCourier (started through
// qxhost's HostSimulator, as ProcessFixture does) pushes to a real nginx with the RTMP module
// (rtmptest::NginxServer); the bench plays the meeting client (HostSession): it sends the
// commands, writes the media into the shared-memory channels from its own threads and keeps
// the session alive. Each benchmark is described beside it:
//   GlassToGlass/ffmpeg_reader:R  GlassToGlassBench.cc: picture written to picture seen.
//   ReaderDelay/ffmpeg_reader:R   ReaderDelayBench.cc: what nginx and the reader add.
//   AvOffset                      AvOffsetBench.cc: the A/V offset in a recording.
//   ProcessCpu                    ProcessCpuBench.cc: CPU time against the ffmpeg tool's.
//
// Run: build-bench/bin/bench_live [--benchmark_filter=GlassToGlass] [--benchmark_repetitions=N]
//   (the reader's ffmpeg is $FFMPEG, else /usr/bin/ffmpeg; the other ffmpeg and ffprobe runs
//   come from PATH; nginx with the RTMP module)
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
