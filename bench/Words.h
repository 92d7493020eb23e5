// A tool's command line from text: the words of `text` (split at spaces), then `more`.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace bench {

inline std::vector<std::string> Words(const std::string& text, std::vector<std::string> more = {}) {
    std::vector<std::string> words;
    std::istringstream split(text);
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

}  // namespace bench
