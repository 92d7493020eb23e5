#include "bench/PusherStatsFile.h"

#include <fstream>
#include <sstream>

namespace bench {

PusherStatsFile PusherStatsFile::Read(const std::string& path) {
    std::stringstream text;
    std::ifstream file(path);
    if (file) {
        text << file.rdbuf();
    }
    return Parse(text.str());
}

PusherStatsFile PusherStatsFile::Parse(const std::string& text) {
    PusherStatsFile stats;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        Fields fields;
        std::istringstream pairs(line);
        for (std::string pair; pairs >> pair;) {
            const size_t equals = pair.find('=');
            if (equals != std::string::npos && equals > 0) {
                fields[pair.substr(0, equals)] = pair.substr(equals + 1);
            }
        }
        if (!fields.empty()) {
            stats.pushers_.push_back(std::move(fields));
        }
    }
    return stats;
}

const PusherStatsFile::Fields* PusherStatsFile::ForUrl(const std::string& url) const {
    for (const Fields& pusher : pushers_) {
        const auto found = pusher.find("url");
        if (found != pusher.end() && found->second == url) {
            return &pusher;
        }
    }
    return nullptr;
}

std::string PusherStatsFile::Value(const Fields* pusher, const std::string& key) {
    if (pusher == nullptr) {
        return "";
    }
    const auto found = pusher->find(key);
    return found == pusher->end() ? "" : found->second;
}

}  // namespace bench
