// The control message envelope: reading and writing `cmd` elements with TinyXML. Free
// functions without state; they run on the pump thread. Each returns 0 or null for a null
// element or name.
#pragma once

#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace streammanager {

// Messages nested deeper than this are dropped before parsing (bounded recursion).
constexpr int kMaxMessageDepth = 64;

// Non-zero when `text` is non-null, `length` is not 0, the text parses as one element in
// UTF-8 mode and that element is named "cmd". The name must follow the element's '<' at once
// ("< cmd/>" is refused).
int ParseCommand(TiXmlElement* element, const char* text, uint32_t length);
// Reads attribute "id" cut to 16 bits; 0 (out untouched) when it is missing.
int GetCommandId(const TiXmlElement* element, uint16_t* id);
int SetCommandId(TiXmlElement* element, uint16_t id);
// Appends <name val="value" />.
int AddParam(TiXmlElement* element, const char* name, int32_t value);
// First child `name`: missing → 0, target untouched; no `val` → target 0, returns 0;
// otherwise stores the value and returns non-zero.
int GetIntParam(const TiXmlElement* element, const char* name, int32_t* value);
// The `val` text of the first child `name`, or null.
const char* GetStringParam(const TiXmlElement* element, const char* name);
// The C library's atoi reading: white space, sign, digits; anything else reads as 0.
int32_t ReadDecimal(const char* text);
// TinyXML's compact stream form of the element.
std::string PrintCompact(const TiXmlElement& element);
// True when the text's elements nest no deeper than `maxDepth`, counted as XML does (a
// self-closing element opens and closes; comments, CDATA and quoted attribute values hold no
// tags), by a scan before any parse.
bool NestingWithin(const char* text, int maxDepth);

}  // namespace streammanager
