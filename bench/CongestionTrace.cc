#include "bench/CongestionTrace.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/LiveMedia.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"

namespace bench {

namespace {

std::string Number(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

void CongestionTrace::Sample(uint64_t atUs, bool throttled, const PusherStatsFile& stats) {
    Row row;
    row.atUs = atUs;
    row.throttled = throttled;
    bool all = true;
    for (const std::string& url : urls_) {
        const PusherStatsFile::Fields* pusher = stats.ForUrl(url);
        all = all && pusher != nullptr;
        for (const char* key : kPusherKeys) {
            row.pushers.push_back(PusherStatsFile::Value(pusher, key));
        }
        if (row.encoderKbps.empty()) {
            row.encoderKbps = PusherStatsFile::Value(pusher, "encoder_kbps");
        }
    }
    withStats_ += all ? 1 : 0;
    rows_.push_back(std::move(row));
}

bool CongestionTrace::WriteCsv(const std::string& path,
                               const std::vector<const ViewerTimeline*>& viewers) {
    std::vector<std::string> names = {"seconds", "throttled"};
    for (size_t cdn = 0; cdn < urls_.size(); ++cdn) {
        for (const char* column :
             {"delay_ms_", "pictures_", "viewer_kbps_", "send_kbps_", "backlog_ms_", "dropped_"}) {
            names.push_back(column + Name(cdn));
        }
    }
    names.push_back("encoder_kbps");
    std::ofstream csv(path);
    for (size_t i = 0; i < names.size(); ++i) {
        csv << (i == 0 ? "" : ",") << names[i];
    }
    csv << "\n";
    for (const Row& row : rows_) {
        std::vector<std::string> values = {Number(Seconds(row.atUs), 2), row.throttled ? "1" : "0"};
        for (size_t cdn = 0; cdn < urls_.size(); ++cdn) {
            const ViewerTimeline& viewer = *viewers[cdn];
            const double delay = viewer.DelayAt(row.atUs);
            values.push_back(delay >= 0 ? Number(delay, 1) : "");
            values.push_back(Number(viewer.PicturesPerSecond(row.atUs - 1000000, row.atUs), 0));
            values.push_back(Number(viewer.Kbps(row.atUs - 1000000, row.atUs), 0));
            for (size_t column = 0; column < kPusherColumns; ++column) {
                values.push_back(row.pushers[cdn * kPusherColumns + column]);
            }
        }
        values.push_back(row.encoderKbps);
        for (size_t i = 0; i < values.size(); ++i) {
            csv << (i == 0 ? "" : ",") << values[i];
            if (!values[i].empty()) {
                filled_.insert(names[i]);
            }
        }
        csv << "\n";
    }
    return static_cast<bool>(csv);
}

std::string CongestionTrace::ThrottleShading() const {
    std::ostringstream shading;
    int object = 1;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!rows_[i].throttled || (i > 0 && rows_[i - 1].throttled)) {
            continue;
        }
        size_t last = i;
        while (last + 1 < rows_.size() && rows_[last + 1].throttled) {
            ++last;
        }
        // A row samples the second before it: the limit went on about a second before row i.
        shading << "set object " << object++ << " rect from first "
                << Number(Seconds(rows_[i].atUs) - 1, 2) << ", graph 0 to first "
                << Number(Seconds(rows_[last].atUs), 2) << ", graph 1 behind "
                << "fillcolor rgb \"#e4e4e4\" fillstyle solid noborder\n";
    }
    return shading.str();
}

std::string CongestionTrace::Panel(const std::string& csv, const std::vector<Line>& lines) const {
    std::string plot;
    for (const Line& line : lines) {
        if (filled_.count(line.column) != 0) {
            plot += (plot.empty() ? "plot " : ", ") +
                    ("\"" + csv + "\" using \"seconds\":" + line.value + " with lines " +
                     line.style + " title \"" + line.title + "\"");
        }
    }
    return plot.empty() ? "set multiplot next\n" : plot + "\n";
}

bool CongestionTrace::Plot(const std::string& csv, const std::string& png,
                           const std::string& title) const {
    std::vector<Line> delay, kbps, pictures;
    for (size_t cdn = 0; cdn < urls_.size(); ++cdn) {
        // Each CDN in a colour of its own, in every panel.
        const std::string n = Name(cdn);
        const std::string colour = " lc " + std::to_string(cdn + 1);
        delay.push_back({"delay_ms_" + n, "(column(\"delay_ms_" + n + "\")/1000)", "lw 2" + colour,
                         "viewer " + n});
        delay.push_back({"backlog_ms_" + n, "(column(\"backlog_ms_" + n + "\")/1000)",
                         "dt 2" + colour, "backlog of pusher " + n});
        kbps.push_back({"viewer_kbps_" + n, "\"viewer_kbps_" + n + "\"", "dt 2" + colour,
                        "received by viewer " + n});
        kbps.push_back(
            {"send_kbps_" + n, "\"send_kbps_" + n + "\"", "lw 2" + colour, "sent by pusher " + n});
        pictures.push_back({"pictures_" + n, "\"pictures_" + n + "\"", colour, "viewer " + n});
    }
    kbps.push_back({"encoder_kbps", "\"encoder_kbps\"", "lw 2 lc rgb \"black\"", "encoder"});
    platform::TempFolder folder("sc-congestion-plot");
    const std::string script = folder.Path() + "/plot.gp";
    std::ofstream(script) << "set terminal png size 1200,1000 noenhanced\n"
                          << "set output \"" << png << "\"\n"
                          << "set datafile separator \",\"\n"
                          << "set key inside left top\n"
                          << "set lmargin 10\nset rmargin 4\nset xrange [0:*]\n"
                          << "set xlabel \"seconds (shaded: uplink throttled)\"\n"
                          << ThrottleShading() << "set multiplot layout 3,1 title \"" << title
                          << "\"\n"
                          << "set title \"viewer delay of the newest flash, pusher backlog (s)\"\n"
                          << "set yrange [0:*]\n"
                          << Panel(csv, delay) << "set title \"kbit/s (cut at 4000)\"\n"
                          << "set yrange [0:4000]\n"
                          << Panel(csv, kbps)
                          << "set title \"new pictures a second at the viewer (cut at 60)\"\n"
                          << "set yrange [0:60]\n"
                          << Panel(csv, pictures) << "unset multiplot\n";
    rtmptest::FfTool gnuplot(folder.Path(), "gnuplot", {script});
    return gnuplot.Finish(kToolMs) && gnuplot.ExitCode() == 0;
}

}  // namespace bench
