#include "control/MessageEnvelope.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace streammanager {

int32_t ReadDecimal(const char* text) {
    // strtol saturates where atoi's result is undefined; the cut to 32 bits matches glibc.
    return text == nullptr ? 0 : static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

namespace {

// Past the first `end` at or after `p`, or at the terminating zero when there is none.
const char* SkipPast(const char* p, const char* end) {
    const char* found = std::strstr(p, end);
    return found != nullptr ? found + std::strlen(end) : p + std::strlen(p);
}

// The '>' that ends the tag whose name starts at `p` (a '>' inside a quoted attribute value does
// not count), or null when the text ends first.
const char* TagEnd(const char* p) {
    char quote = 0;
    for (; *p != '\0'; ++p) {
        if (quote != 0) {
            quote = *p == quote ? 0 : quote;
        } else if (*p == '"' || *p == '\'') {
            quote = *p;
        } else if (*p == '>') {
            return p;
        }
    }
    return nullptr;
}

// TinyXML reads an element's name after the white space that follows its '<', and asserts when
// the text ends there ("<", "< "), which would abort the process. XML wants the name right after
// the '<' anyway: a text whose first '<' is not followed by a letter or '_' is no command.
bool NameFollowsFirstTag(const char* text) {
    const char* open = std::strchr(text, '<');
    if (open == nullptr) {
        return false;
    }
    const char next = open[1];
    return (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || next == '_';
}

}  // namespace

bool NestingWithin(const char* text, int maxDepth) {
    int depth = 0;
    for (const char* p = std::strchr(text, '<'); p != nullptr; p = std::strchr(p, '<')) {
        if (std::strncmp(p, "<!--", 4) == 0) {
            p = SkipPast(p + 4, "-->");
        } else if (std::strncmp(p, "<![CDATA[", 9) == 0) {
            p = SkipPast(p + 9, "]]>");
        } else if (p[1] == '?' || p[1] == '!') {
            p = SkipPast(p + 2, ">");
        } else if (p[1] == '/') {
            --depth;
            p = SkipPast(p + 2, ">");
        } else {
            const char* end = TagEnd(p + 1);
            if (end == nullptr) {
                return true;  // an unterminated tag: the parser refuses it without recursing
            }
            // A self-closing element opens and closes its level at once.
            if (end[-1] != '/' && ++depth > maxDepth) {
                return false;
            }
            p = end + 1;
        }
    }
    return true;
}

int ParseCommand(TiXmlElement* element, const char* text, uint32_t length) {
    if (element == nullptr || text == nullptr || length == 0) {
        return 0;
    }
    if (!NameFollowsFirstTag(text) || !NestingWithin(text, kMaxMessageDepth)) {
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

const char* GetStringParam(const TiXmlElement* element, const char* name) {
    if (element == nullptr || name == nullptr) {
        return nullptr;
    }
    const TiXmlElement* child = element->FirstChildElement(name);
    return child != nullptr ? child->Attribute("val") : nullptr;
}

std::string PrintCompact(const TiXmlElement& element) {
    std::string text;
    text << element;
    return text;
}

}  // namespace streammanager
