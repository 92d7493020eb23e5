#include "host/SessionAnswers.h"

#include <tinyxml.h>

#include <algorithm>

#include "host/CommandBuilder.h"

namespace qxhost {

namespace {

// Commands StreamCourier answers (with their number plus CommandBuilder::kAnswerOffset).
constexpr uint32_t kAnswered[] = {4096, 4098, 4099, 4100, 4101, 4102, 4103, 4105};

// The `val` of the first child `name` of `cmd`, when it is a whole number.
bool ReadValue(const TiXmlElement& cmd, const char* name, int* value) {
    const TiXmlElement* element = cmd.FirstChildElement(name);
    return element != nullptr && element->QueryIntAttribute("val", value) == TIXML_SUCCESS;
}

// The `id` of a `cmd` message; false when the text is not one.
bool ReadCommand(const std::string& text, TiXmlDocument* document, int* id) {
    document->Parse(text.c_str());
    const TiXmlElement* root = document->RootElement();
    return root != nullptr && root->ValueStr() == "cmd" &&
           root->QueryIntAttribute("id", id) == TIXML_SUCCESS;
}

}  // namespace

void SessionAnswers::Sent(const std::string& command) {
    TiXmlDocument document;
    int id = 0;
    if (ReadCommand(command, &document, &id) &&
        std::find(std::begin(kAnswered), std::end(kAnswered), static_cast<uint32_t>(id)) !=
            std::end(kAnswered)) {
        awaited_.push_back(static_cast<uint32_t>(id));
    }
}

void SessionAnswers::Received(const std::string& payload) {
    TiXmlDocument document;
    int id = 0;
    if (!ReadCommand(payload, &document, &id) || id < 0) {
        return;
    }
    const TiXmlElement& answer = *document.RootElement();
    const uint32_t command = static_cast<uint32_t>(id) - CommandBuilder::kAnswerOffset;
    const auto awaited = std::find(awaited_.begin(), awaited_.end(), command);
    if (awaited != awaited_.end()) {
        awaited_.erase(awaited);
    }
    int result = 0;
    const bool failed = ReadValue(answer, "Result", &result) && result != 0;
    if (failed && failure_.empty()) {
        failure_ = payload;
    }
    int value = 0;
    if (command == CommandBuilder::kCreateContext && !failed &&
        ReadValue(answer, "ContextID", &value)) {
        context_ = value;
    } else if (command == CommandBuilder::kCreateInput) {
        inputHandles_.push_back(ReadValue(answer, "InputHandle", &value) ? value : -1);
    }
}

bool SessionAnswers::InputHandle(size_t n, int32_t* handle) const {
    if (n == 0 || n > inputHandles_.size() || inputHandles_[n - 1] == -1) {
        return false;
    }
    *handle = inputHandles_[n - 1];
    return true;
}

}  // namespace qxhost
