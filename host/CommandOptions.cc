#include "host/CommandOptions.h"

#include <functional>
#include <limits>
#include <sstream>

#include "host/CommandBuilder.h"
#include "host/ToolOptions.h"

namespace qxhost {

namespace {

constexpr long kMaxInt32 = std::numeric_limits<int32_t>::max();
constexpr long kMaxSide = 65535;

bool ParseInt32(const std::string& text, int32_t* value) {
    const bool negative = !text.empty() && text[0] == '-';
    long magnitude = 0;
    if (!ParseNumber(negative ? text.substr(1) : text, 0, kMaxInt32, &magnitude)) {
        return false;
    }
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

bool ParseSize(const std::string& text, int32_t* width, int32_t* height) {
    const size_t x = text.find('x');
    long w = 0;
    long h = 0;
    if (x == std::string::npos || !ParseNumber(text.substr(0, x), 0, kMaxSide, &w) ||
        !ParseNumber(text.substr(x + 1), 0, kMaxSide, &h)) {
        return false;
    }
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return true;
}

bool ParseColor(const std::string& text, std::optional<Rgb>* color) {
    if (text.empty() || text.back() == ':') {
        return false;
    }
    Rgb rgb{};
    std::istringstream parts(text);
    std::string part;
    size_t count = 0;
    long component = 0;
    while (std::getline(parts, part, ':')) {
        if (count == rgb.size() || !ParseNumber(part, 0, 255, &component)) {
            return false;
        }
        rgb[count++] = static_cast<int32_t>(component);
    }
    if (count != rgb.size()) {
        return false;
    }
    *color = rgb;
    return true;
}

bool ParseHandle(const std::string& text, HandleRef* handle) {
    long n = 0;
    if (!text.empty() && text[0] == '@') {
        handle->fromAnswer = true;
        if (!ParseNumber(text.substr(1), 1, kMaxInt32, &n)) {
            return false;
        }
        handle->value = static_cast<int32_t>(n);
        return true;
    }
    handle->fromAnswer = false;
    return ParseInt32(text, &handle->value);
}

bool ParseHandles(const std::string& text, std::vector<HandleRef>* handles) {
    if (text.empty() || text.back() == '+') {
        return false;
    }
    std::istringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '+')) {
        HandleRef handle;
        if (!ParseHandle(part, &handle)) {
            return false;
        }
        handles->push_back(handle);
    }
    return true;
}

bool ParseOptional(const std::string& text, std::optional<int32_t>* value) {
    int32_t parsed = 0;
    if (!ParseInt32(text, &parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

// Calls `apply(key, value)` for each comma-separated key=value of `text`; false with `error`
// set when an item has no '=' or `apply` refuses it.
bool ForEachItem(const std::string& option, const std::string& text,
                 const std::function<bool(const std::string&, const std::string&)>& apply,
                 std::string* error) {
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos ||
            !apply(item.substr(0, equals), item.substr(equals + 1))) {
            *error = option + ": bad or unknown '" + item + "'";
            return false;
        }
    }
    return true;
}

bool Resolve(const HandleRef& handle, const SessionAnswers& answers, int32_t* value,
             std::string* error) {
    if (!handle.fromAnswer) {
        *value = handle.value;
        return true;
    }
    if (!answers.InputHandle(static_cast<size_t>(handle.value), value)) {
        *error = "@" + std::to_string(handle.value) + ": no input handle answered to CreateInput " +
                 std::to_string(handle.value) + " of this session";
        return false;
    }
    return true;
}

CommandBuilder::Element Color(const char* name, const Rgb& rgb) {
    CommandBuilder::Element color(name);
    color.Param("Red", rgb[0]).Param("Green", rgb[1]).Param("Blue", rgb[2]);
    return color;
}

std::string InputText(const InputCommand& input, const SessionAnswers& answers) {
    return CommandBuilder(CommandBuilder::kCreateInput)
        .Param("ContextID", input.context.value_or(answers.Context()))
        .Param("UserID", input.userId)
        .Param("MediaType", input.mediaType)
        .Param("MediaID", input.mediaId)
        .Text();
}

bool LayoutElement(const LayoutSpec& layout, const SessionAnswers& answers,
                   CommandBuilder::Element* element, std::string* error) {
    int32_t handle = 0;
    if (!Resolve(layout.input, answers, &handle, error)) {
        return false;
    }
    CommandBuilder::Element input("Input", handle);
    if (layout.cropMode) {
        input.Param("CropMode", *layout.cropMode);
    }
    if (layout.borderWidth) {
        input.Param("BorderWidth", *layout.borderWidth);
    }
    if (layout.borderColor) {
        input.Add(Color("BorderColor", *layout.borderColor));
    }
    if (layout.background) {
        input.Add(Color("BackgroundColor", *layout.background));
    }
    if (layout.hasRect) {
        input.Add(CommandBuilder::Element("Layout")
                      .Param("X", layout.x)
                      .Param("Y", layout.y)
                      .Param("Width", layout.width)
                      .Param("Height", layout.height));
    }
    *element = std::move(input);
    return true;
}

bool OutputText(const OutputCommand& output, const SessionAnswers& answers, std::string* text,
                std::string* error) {
    CommandBuilder command(CommandBuilder::kSetOutParam);
    command.Param("ContextID", output.context.value_or(answers.Context()))
        .Param("OutPutFrameRate", output.frameRate)
        .Param("VideoQualityLevel", output.qualityLevel);
    CommandBuilder::Element urls("OutUrlList");
    for (const std::string& url : output.urls) {
        urls.Param("OutUrl", url);
    }
    command.Add(std::move(urls));
    if (output.hasCanvas) {
        command.Add(CommandBuilder::Element("CanvasSize")
                        .Param("Width", output.canvasWidth)
                        .Param("Height", output.canvasHeight));
    }
    command.Param("IsHaveAudioStream", output.hasAudio.value_or(output.audio.empty() ? 0 : 1));
    if (!output.audio.empty()) {
        CommandBuilder::Element list("AudioInputList");
        for (const HandleRef& audio : output.audio) {
            int32_t handle = 0;
            if (!Resolve(audio, answers, &handle, error)) {
                return false;
            }
            list.Param("Input", handle);
        }
        command.Add(std::move(list));
    }
    if (!output.layouts.empty()) {
        CommandBuilder::Element list("VideoInputList");
        for (const LayoutSpec& layout : output.layouts) {
            CommandBuilder::Element input("Input");
            if (!LayoutElement(layout, answers, &input, error)) {
                return false;
            }
            list.Add(std::move(input));
        }
        command.Add(std::move(list));
    }
    *text = command.Text();
    return true;
}

}  // namespace

bool ParseInputOption(const std::string& value, InputCommand* command, std::string* error) {
    InputCommand parsed;
    bool sawUser = false;
    bool sawType = false;
    const auto apply = [&](const std::string& key, const std::string& text) {
        long n = 0;
        if (key == "user" && ParseNumber(text, 0, 4294967295L, &n)) {
            parsed.userId = n;
            sawUser = true;
        } else if (key == "type" && ParseInt32(text, &parsed.mediaType)) {
            sawType = true;
        } else if (key == "media") {
            return ParseInt32(text, &parsed.mediaId);
        } else if (key == "context") {
            return ParseOptional(text, &parsed.context);
        } else {
            return false;
        }
        return true;
    };
    if (!ForEachItem("--input", value, apply, error)) {
        return false;
    }
    if (!sawUser || !sawType) {
        *error = "--input needs user=N and type=T";
        return false;
    }
    *command = parsed;
    return true;
}

bool ParseOutputOption(const std::string& value, OutputCommand* command, std::string* error) {
    OutputCommand parsed;
    const auto apply = [&](const std::string& key, const std::string& text) {
        if (key == "url") {
            parsed.urls.push_back(text);
            return true;
        }
        if (key == "canvas") {
            parsed.hasCanvas = true;
            return ParseSize(text, &parsed.canvasWidth, &parsed.canvasHeight);
        }
        if (key == "rate") {
            return ParseInt32(text, &parsed.frameRate);
        }
        if (key == "quality") {
            return ParseInt32(text, &parsed.qualityLevel);
        }
        if (key == "audio") {
            return ParseHandles(text, &parsed.audio);
        }
        if (key == "hasaudio") {
            return ParseOptional(text, &parsed.hasAudio);
        }
        return key == "context" && ParseOptional(text, &parsed.context);
    };
    if (!ForEachItem("--output", value, apply, error)) {
        return false;
    }
    *command = parsed;
    return true;
}

bool ParseLayoutOption(const std::string& value, LayoutSpec* layout, std::string* error) {
    LayoutSpec parsed;
    bool sawInput = false;
    bool sawCorner = false;
    const auto apply = [&](const std::string& key, const std::string& text) {
        if (key == "input") {
            sawInput = true;
            return ParseHandle(text, &parsed.input);
        }
        if (key == "x" || key == "y") {
            sawCorner = true;
            return ParseInt32(text, key == "x" ? &parsed.x : &parsed.y);
        }
        if (key == "size") {
            parsed.hasRect = true;
            return ParseSize(text, &parsed.width, &parsed.height);
        }
        if (key == "crop") {
            return ParseOptional(text, &parsed.cropMode);
        }
        if (key == "border") {
            return ParseOptional(text, &parsed.borderWidth);
        }
        if (key == "bordercolor") {
            return ParseColor(text, &parsed.borderColor);
        }
        return key == "background" && ParseColor(text, &parsed.background);
    };
    if (!ForEachItem("--layout", value, apply, error)) {
        return false;
    }
    if (!sawInput || (sawCorner && !parsed.hasRect)) {
        *error = "--layout needs input=H, and size=WxH with x and y";
        return false;
    }
    *layout = parsed;
    return true;
}

bool CommandText(const ToolCommand& command, const SessionAnswers& answers, std::string* text,
                 std::string* error) {
    if (const auto* raw = std::get_if<std::string>(&command)) {
        *text = *raw;
        return true;
    }
    if (const auto* input = std::get_if<InputCommand>(&command)) {
        *text = InputText(*input, answers);
        return true;
    }
    return OutputText(std::get<OutputCommand>(command), answers, text, error);
}

}  // namespace qxhost
