#include "control/MessageEnvelope.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace streammanager {

int32_t ReadDecimal(const char* text) {
    // strtol saturates where atoi's result is undefined; the cut to 32 bits matches glibc.
    return text == nullptr ? 0 : static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

bool NestingWithin(const char* text, int maxDepth) {
    int depth = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] != '<') {
            continue;
        }
        if (p[1] == '/') {
            --depth;
        } else if (p[1] != '?' && p[1] != '!') {
            if (++depth > maxDepth) {
                return false;
            }
        }
    }
    return true;
}

int ParseCommand(TiXmlElement* element, const char* text, uint32_t length) {
    if (element == nullptr || text == nullptr || length == 0) {
        return 0;
    }
    if (!NestingWithin(text, kMaxMessageDepth)) {
        return 0;
    }
    if (element->Parse(text, nullptr, TIXML_ENCODING_UTF8) == nullptr) {
        return 0;
    }
    return std::strcmp(element->Value(), "cmd") == 0 ? 1 : 0;
}

int GetCommandId(const TiXmlElement* element, uint16_t* id) {
    if (element == nullptr || id == nullptr) {
        return 0;
    }
    const char* text = element->Attribute("id");
    if (text == nullptr) {
        return 0;
    }
    *id = static_cast<uint16_t>(ReadDecimal(text));
    return 1;
}

int SetCommandId(TiXmlElement* element, uint16_t id) {
    if (element == nullptr) {
        return 0;
    }
    element->SetAttribute("id", id);
    return 1;
}

int AddParam(TiXmlElement* element, const char* name, int32_t value) {
    if (element == nullptr || name == nullptr) {
        return 0;
    }
    TiXmlElement child(name);
    child.SetAttribute("val", value);
    element->InsertEndChild(child);
    return 1;
}

int GetIntParam(const TiXmlElement* element, const char* name, int32_t* value) {
    if (element == nullptr || name == nullptr || value == nullptr) {
        return 0;
    }
    const TiXmlElement* child = element->FirstChildElement(name);
    if (child == nullptr) {
        return 0;
    }
    const char* text = child->Attribute("val");
    *value = ReadDecimal(text);
    return text != nullptr ? 1 : 0;
}

const char* GetStringParam(const TiXmlElement* element, const char* name, char* buffer,
                           size_t size) {
    if (element == nullptr || name == nullptr) {
        return nullptr;
    }
    const TiXmlElement* child = element->FirstChildElement(name);
    const char* text = child != nullptr ? child->Attribute("val") : nullptr;
    if (text == nullptr || buffer == nullptr) {
        return text;
    }
    const size_t length = std::strlen(text);
    if (length >= size) {
        return nullptr;
    }
    std::memcpy(buffer, text, length + 1);
    return buffer;
}

std::string PrintCompact(const TiXmlElement& element) {
    std::string text;
    text << element;
    return text;
}

}  // namespace streammanager
