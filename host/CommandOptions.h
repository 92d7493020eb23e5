// The commands qxhost builds from its command line, each a comma-separated list of key=value:
//   --input  user=N,type=T[,media=0][,context=C]                                  CreateInput
//   --output url=U[,url=U...][,canvas=WxH][,rate=30][,quality=2][,audio=H[+H...]]
//            [,hasaudio=0|1][,context=C]                                          SetOutParam
//   --layout input=H[,x=X,y=Y,size=WxH][,crop=M][,border=B][,bordercolor=R:G:B]
//            [,background=R:G:B]          one more Input of the last --output's VideoInputList
// H, an input handle, is a number, or @N: the InputHandle StreamCourier answered to the
// session's N-th CreateInput (a context numbers its inputs from 100, so a scenario may as well
// name 100, 101, ...). C defaults to the context of the session's last CreateContext (10001
// until one is answered). A URL cannot hold a comma.
//
// What is sent: CreateInput always carries its four values. SetOutParam carries ContextID,
// OutPutFrameRate, VideoQualityLevel, OutUrlList (empty without a url) and IsHaveAudioStream
// (1 when audio inputs are listed, unless hasaudio says otherwise); CanvasSize with a canvas;
// AudioInputList with audio inputs; VideoInputList with layouts. A layout's Input carries only
// the fields given (StreamCourier carries the rest over from the Input before it), and a
// Layout element when size is given (x and y default to 0).
//
// Stateless parsing and building; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/SessionAnswers.h"

namespace qxhost {

struct HandleRef {
    int32_t value = -1;       // the handle, or N of "@N"
    bool fromAnswer = false;  // "@N"
};

using Rgb = std::array<int32_t, 3>;

struct InputCommand {
    std::optional<int32_t> context;
    int64_t userId = 0;
    int32_t mediaType = 0;
    int32_t mediaId = 0;
};

struct LayoutSpec {
    HandleRef input;
    std::optional<int32_t> cropMode;
    std::optional<int32_t> borderWidth;
    std::optional<Rgb> borderColor;
    std::optional<Rgb> background;
    bool hasRect = false;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

struct OutputCommand {
    std::optional<int32_t> context;
    std::vector<std::string> urls;
    bool hasCanvas = false;
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    int32_t frameRate = 30;
    int32_t qualityLevel = 2;
    std::optional<int32_t> hasAudio;
    std::vector<HandleRef> audio;
    std::vector<LayoutSpec> layouts;  // in the order of their index
};

// A command of a run: text sent as it is, or one built when it goes out.
using ToolCommand = std::variant<std::string, InputCommand, OutputCommand>;

// Parse the value of --input, --output and --layout. On failure they return false with
// `error` set.
bool ParseInputOption(const std::string& value, InputCommand* command, std::string* error);
bool ParseOutputOption(const std::string& value, OutputCommand* command, std::string* error);
bool ParseLayoutOption(const std::string& value, LayoutSpec* layout, std::string* error);

// The command's text, with the context and the handles taken from `answers`. False with
// `error` set when a handle names an answer that has not come (or carried no handle).
bool CommandText(const ToolCommand& command, const SessionAnswers& answers, std::string* text,
                 std::string* error);

}  // namespace qxhost
