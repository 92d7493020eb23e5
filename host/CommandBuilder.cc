#include "host/CommandBuilder.h"

#include <tinyxml.h>

namespace qxhost {

CommandBuilder::Element& CommandBuilder::Element::Param(const std::string& name,
                                                        const std::string& value) {
    return Add(Element(name, value));
}

CommandBuilder::Element& CommandBuilder::Element::Param(const std::string& name, int64_t value) {
    return Add(Element(name, value));
}

CommandBuilder::Element& CommandBuilder::Element::Add(Element child) {
    children_.push_back(std::move(child));
    return *this;
}

CommandBuilder& CommandBuilder::Param(const std::string& name, const std::string& value) {
    return Add(Element(name, value));
}

CommandBuilder& CommandBuilder::Param(const std::string& name, int64_t value) {
    return Add(Element(name, value));
}

CommandBuilder& CommandBuilder::Add(Element element) {
    params_.push_back(std::move(element));
    return *this;
}

void CommandBuilder::AppendXml(const Element& element, TiXmlNode* parent) {
    TiXmlElement xml(element.name_.c_str());
    if (element.value_) {
        xml.SetAttribute("val", element.value_->c_str());
    }
    TiXmlNode* added = parent->InsertEndChild(xml);
    for (const Element& child : element.children_) {
        AppendXml(child, added);
    }
}

std::string CommandBuilder::Text() const {
    TiXmlElement command("cmd");
    command.SetAttribute("id", std::to_string(id_).c_str());
    for (const Element& param : params_) {
        AppendXml(param, &command);
    }
    std::string text;
    text << command;
    return text;
}

std::string CommandBuilder::KeepAlive() {
    return CommandBuilder(kKeepAlive).Text();
}

}  // namespace qxhost
