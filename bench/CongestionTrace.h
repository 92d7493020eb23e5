// The second-by-second record of a congestion run. Each second the bench samples StreamCourier's
// statistics file (Sample); at the end the record is joined with what each viewer got
// (ViewerTimeline: the newest flash's delay, pictures and kbit/s of the second before the
// sample) and written as CSV, one row a sample:
//   seconds, throttled (1 while a limit is on), then per CDN n (a, b, ...): delay_ms_n,
//   pictures_n, viewer_kbps_n, send_kbps_n, backlog_ms_n, dropped_n; then encoder_kbps
// The statistics columns are empty while the file is missing or does not name the pusher.
// Plot draws the CSV with gnuplot: the viewers' delay and the pushers' backlog, the kbit/s
// (encoder, each pusher's send rate, each viewer's receive rate) and pictures a second, the
// throttled time shaded; a column without a value is left out, a panel without any stays empty.
// Owned and used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "bench/PusherStatsFile.h"
#include "bench/ViewerTimeline.h"

namespace bench {

class CongestionTrace {
  public:
    // `urls[i]` is what CDN i is pushed to; seconds count from `startUs`.
    CongestionTrace(std::vector<std::string> urls, uint64_t startUs)
        : urls_(std::move(urls)), startUs_(startUs) {}
    void Sample(uint64_t atUs, bool throttled, const PusherStatsFile& stats);
    // Samples in which the statistics file named every pusher.
    size_t SamplesWithStats() const { return withStats_; }
    // `viewers[i]` followed CDN i.
    bool WriteCsv(const std::string& path, const std::vector<const ViewerTimeline*>& viewers);
    // After WriteCsv: draws `png` from the CSV at `csv`; false when gnuplot is missing or
    // failed.
    bool Plot(const std::string& csv, const std::string& png, const std::string& title) const;

  private:
    struct Row {
        uint64_t atUs = 0;
        bool throttled = false;
        std::vector<std::string> pushers;  // per CDN: kbps, backlog_ms, dropped
        std::string encoderKbps;
    };
    // A line of a panel: the column, how gnuplot reads it, its style and title.
    struct Line {
        std::string column;
        std::string value;
        std::string style;
        std::string title;
    };
    static constexpr size_t kPusherColumns = 3;
    static constexpr const char* kPusherKeys[kPusherColumns] = {"kbps", "backlog_ms", "dropped"};

    static std::string Name(size_t cdn) { return std::string(1, static_cast<char>('a' + cdn)); }
    double Seconds(uint64_t atUs) const { return static_cast<double>(atUs - startUs_) / 1e6; }
    // The gnuplot commands that shade the throttled samples.
    std::string ThrottleShading() const;
    // The gnuplot command that draws the lines of one panel whose columns have values.
    std::string Panel(const std::string& csv, const std::vector<Line>& lines) const;

    const std::vector<std::string> urls_;
    const uint64_t startUs_;
    std::vector<Row> rows_;
    size_t withStats_ = 0;
    std::set<std::string> filled_;  // the CSV's columns with a value (WriteCsv)
};

}  // namespace bench
