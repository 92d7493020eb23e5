#include "control/OutParamReader.h"

#include <tinyxml.h>

#include "base/Log.h"
#include "base/ResultCodes.h"
#include "control/MessageEnvelope.h"

namespace streammanager {

namespace {

void ReadColor(const TiXmlElement* input, const char* name, RgbColor* color) {
    const TiXmlElement* element = input->FirstChildElement(name);
    if (element != nullptr) {
        GetIntParam(element, "Red", &color->red);
        GetIntParam(element, "Green", &color->green);
        GetIntParam(element, "Blue", &color->blue);
    }
}

}  // namespace

int32_t ParseCDN(const TiXmlElement* cmd, std::vector<std::string>* urls) {
    const TiXmlElement* list = cmd != nullptr ? cmd->FirstChildElement("OutUrlList") : nullptr;
    if (list == nullptr) {
        SC_LOG("ParseCDN failed, not out url list node error.\n");
        return kResultOutputRefused;
    }
    for (const TiXmlElement* url = list->FirstChildElement("OutUrl"); url != nullptr;
         url = url->NextSiblingElement("OutUrl")) {
        const char* text = url->Attribute("val");
        urls->emplace_back(text != nullptr ? text : "");
    }
    return kResultOk;
}

void ParseAudioList(const TiXmlElement* list, AudioOutputParam* audio) {
    for (const TiXmlElement* input = list->FirstChildElement("Input"); input != nullptr;
         input = input->NextSiblingElement("Input")) {
        audio->inputs.insert(ReadDecimal(input->Attribute("val")));
    }
}

int32_t ParseVideoList(const TiXmlElement* list, int32_t canvasWidth, int32_t canvasHeight,
                       int32_t canvasSet, VideoOutputParam* video) {
    VideoLayout working;
    working.index = 1;
    std::map<int32_t, VideoLayout> layouts;
    for (const TiXmlElement* input = list->FirstChildElement("Input"); input != nullptr;
         input = input->NextSiblingElement("Input"), ++working.index) {
        if (const char* handle = input->Attribute("val")) {
            working.handle = ReadDecimal(handle);
        }
        GetIntParam(input, "CropMode", &working.cropMode);
        GetIntParam(input, "BorderWidth", &working.borderWidth);
        ReadColor(input, "BorderColor", &working.border);
        ReadColor(input, "BackgroundColor", &working.background);
        if (canvasSet != 0) {
            const TiXmlElement* layout = input->FirstChildElement("Layout");
            if (layout == nullptr) {
                SC_LOG("ContextManager::ParseVideoList, set canvas but not set layout.\n");
                return kResultLayoutMissing;
            }
            GetIntParam(layout, "X", &working.x);
            GetIntParam(layout, "Y", &working.y);
            GetIntParam(layout, "Width", &working.width);
            GetIntParam(layout, "Height", &working.height);
        } else {
            working.x = 0;
            working.y = 0;
            working.width = canvasWidth;
            working.height = canvasHeight;
        }
        layouts.emplace(working.handle, working);
    }
    video->canvasSet = canvasSet;
    video->canvasWidth = canvasWidth;
    video->canvasHeight = canvasHeight;
    video->layouts = std::move(layouts);
    return kResultOk;
}

}  // namespace streammanager
