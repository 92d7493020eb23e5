// Reads the parts of a SetOutParam command into the output records: the CDN URL list, the
// audio input list and the video input list with its layouts. Free functions over TinyXML
// elements, without state; they run on the pump thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/output/OutputParams.h"

class TiXmlElement;

namespace streammanager {

// The `val` texts of OutUrlList's OutUrl elements, in document order (an OutUrl without `val`
// counts as an empty URL). kResultOk, or kResultOutputRefused without an OutUrlList.
int32_t ParseCDN(const TiXmlElement* cmd, std::vector<std::string>* urls);
// Every Input's own `val` (0 without one) into the set.
void ParseAudioList(const TiXmlElement* list, AudioOutputParam* audio);
// The layouts of the video list: fields an Input leaves out carry over from the one before;
// a repeated handle keeps its first layout. Without a canvas every layout covers the
// width × height given. kResultOk, or kResultLayoutMissing when a canvas is set and an Input
// has no Layout (nothing is written then).
int32_t ParseVideoList(const TiXmlElement* list, int32_t canvasWidth, int32_t canvasHeight,
                       int32_t canvasSet, VideoOutputParam* video);

}  // namespace streammanager
