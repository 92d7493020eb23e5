// Reads the onMetaData a real RTMP server hands a player, as the bytes arrived (nginx with
// "meta copy" passes on what the publisher sent): librtmp plays the stream and the first data
// message's object is decoded into key → value text (numbers as integers, booleans as "true"
// or "false"). ffprobe cannot be used for this: it takes the picture size from the SPS.
#pragma once

#include <librtmp/amf.h>
#include <librtmp/rtmp.h>

#include <cmath>
#include <csignal>
#include <map>
#include <string>
#include <vector>

namespace rtmptest {

using MetaFields = std::map<std::string, std::string>;

inline std::string AmfText(const AVal& value) {
    return value.av_val != nullptr ? std::string(value.av_val, static_cast<size_t>(value.av_len))
                                   : std::string();
}

// The object of an onMetaData body ("onMetaData", perhaps after "@setDataFrame", then an
// object or ECMA array).
inline MetaFields DecodeMetaData(const char* body, uint32_t size) {
    MetaFields fields;
    AMFObject message;
    if (AMF_Decode(&message, body, static_cast<int>(size), 0) < 0) {
        return fields;
    }
    int at = 0;
    AVal name{};
    AMFProp_GetString(AMF_GetProp(&message, nullptr, at), &name);
    if (AmfText(name) == "@setDataFrame") {
        AMFProp_GetString(AMF_GetProp(&message, nullptr, ++at), &name);
    }
    if (AmfText(name) == "onMetaData") {
        AMFObject object;
        AMFProp_GetObject(AMF_GetProp(&message, nullptr, at + 1), &object);
        for (int i = 0; i < object.o_num; ++i) {
            AMFObjectProperty* property = AMF_GetProp(&object, nullptr, i);
            AVal key{};
            AMFProp_GetName(property, &key);
            std::string value;
            switch (AMFProp_GetType(property)) {
                case AMF_NUMBER:
                    value = std::to_string(std::llround(AMFProp_GetNumber(property)));
                    break;
                case AMF_BOOLEAN:
                    value = AMFProp_GetBoolean(property) ? "true" : "false";
                    break;
                case AMF_STRING: {
                    AVal text{};
                    AMFProp_GetString(property, &text);
                    value = AmfText(text);
                    break;
                }
                default:
                    value = "?";
            }
            fields[AmfText(key)] = value;
        }
    }
    AMF_Reset(&message);
    return fields;
}

// Plays `url` (librtmp's receive time-out: `timeoutSeconds`) and returns the first onMetaData
// it gets, or nothing when none comes before a media message does or the connection ends.
inline MetaFields ReadMetaData(const std::string& url, int timeoutSeconds = 5) {
    std::signal(SIGPIPE, SIG_IGN);  // librtmp writes to a socket the server may have closed
    const std::string setup = url + " live=1 timeout=" + std::to_string(timeoutSeconds);
    std::vector<char> text(setup.begin(), setup.end());
    text.push_back('\0');
    RTMP* rtmp = RTMP_Alloc();
    RTMP_Init(rtmp);
    MetaFields fields;
    if (RTMP_SetupURL(rtmp, text.data()) && RTMP_Connect(rtmp, nullptr) &&
        RTMP_ConnectStream(rtmp, 0)) {
        RTMPPacket packet{};
        int mediaMessages = 0;
        while (fields.empty() && mediaMessages < 100 && RTMP_ReadPacket(rtmp, &packet)) {
            if (!RTMPPacket_IsReady(&packet)) {
                continue;
            }
            if (packet.m_packetType == RTMP_PACKET_TYPE_INFO) {
                fields = DecodeMetaData(packet.m_body, packet.m_nBodySize);
            } else if (packet.m_packetType == RTMP_PACKET_TYPE_AUDIO ||
                       packet.m_packetType == RTMP_PACKET_TYPE_VIDEO) {
                ++mediaMessages;
            }
            RTMPPacket_Free(&packet);
        }
    }
    RTMP_Close(rtmp);
    RTMP_Free(rtmp);
    return fields;
}

}  // namespace rtmptest
