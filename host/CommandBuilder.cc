#include "host/CommandBuilder.h"

#include <tinyxml.h>

namespace qxhost {

CommandBuilder& CommandBuilder::Param(const std::string& name, const std::string& value) {
    params_.emplace_back(name, value);
    return *this;
}

CommandBuilder& CommandBuilder::Param(const std::string& name, int64_t value) {
    return Param(name, std::to_string(value));
}

std::string CommandBuilder::Text() const {
    TiXmlElement command("cmd");
    command.SetAttribute("id", std::to_string(id_).c_str());
    for (const auto& [name, value] : params_) {
        TiXmlElement param(name.c_str());
        param.SetAttribute("val", value.c_str());
        command.InsertEndChild(param);
    }
    std::string text;
    text << command;
    return text;
}

std::string CommandBuilder::KeepAlive() {
    return CommandBuilder(kKeepAlive).Text();
}

}  // namespace qxhost
