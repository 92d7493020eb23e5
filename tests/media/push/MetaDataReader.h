// Reads the onMetaData a real RTMP server hands a player, as the bytes arrived (nginx with
// "meta copy" passes on what the publisher sent): librtmp plays the stream and the first data
// message's object ("onMetaData", perhaps after "@setDataFrame") is decoded into key → value
// text (numbers as integers, booleans as "true" or "false"). ffprobe cannot be used for this:
// it takes the picture size from the SPS.
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
    return std::string(value.av_val != nullptr ? value.av_val : "",
                       value.av_val != nullptr ? static_cast<size_t>(value.av_len) : 0);
}

// Plays `url` and returns the first onMetaData it gets, or nothing when none comes before a
// hundred media messages do or the connection ends (librtmp's receive time-out: 5 s).
inline MetaFields ReadMetaData(const std::string& url) {
    std::signal(SIGPIPE, SIG_IGN);  // librtmp writes to a socket the server may have closed
    std::string setup = url + " live=1 timeout=5";
    RTMP* rtmp = RTMP_Alloc();
    RTMP_Init(rtmp);
    MetaFields fields;
    RTMPPacket packet{};
    const bool playing = RTMP_SetupURL(rtmp, &setup[0]) && RTMP_Connect(rtmp, nullptr) &&
                         RTMP_ConnectStream(rtmp, 0);
    for (int media = 0;
         playing && fields.empty() && media < 100 && RTMP_ReadPacket(rtmp, &packet);) {
        AMFObject message{};
        if (!RTMPPacket_IsReady(&packet)) {
            continue;
        }
        media += packet.m_packetType == RTMP_PACKET_TYPE_AUDIO ||
                 packet.m_packetType == RTMP_PACKET_TYPE_VIDEO;
        if (packet.m_packetType == RTMP_PACKET_TYPE_INFO &&
            AMF_Decode(&message, packet.m_body, static_cast<int>(packet.m_nBodySize), 0) >= 0) {
            AVal name{};
            int at = 0;
            AMFProp_GetString(AMF_GetProp(&message, nullptr, at), &name);
            if (AmfText(name) == "@setDataFrame") {
                AMFProp_GetString(AMF_GetProp(&message, nullptr, ++at), &name);
            }
            AMFObject object{};
            AMFProp_GetObject(AMF_GetProp(&message, nullptr, at + 1), &object);
            for (int i = 0; AmfText(name) == "onMetaData" && i < object.o_num; ++i) {
                AMFObjectProperty* property = AMF_GetProp(&object, nullptr, i);
                AVal key{}, text{};
                AMFProp_GetName(property, &key);
                AMFProp_GetString(property, &text);
                const AMFDataType type = AMFProp_GetType(property);
                fields[AmfText(key)] =
                    type == AMF_NUMBER ? std::to_string(std::llround(AMFProp_GetNumber(property)))
                    : type == AMF_BOOLEAN ? (AMFProp_GetBoolean(property) ? "true" : "false")
                    : type == AMF_STRING  ? AmfText(text)
                                          : "?";
            }
            AMF_Reset(&message);
        }
        RTMPPacket_Free(&packet);
    }
    RTMP_Close(rtmp);
    RTMP_Free(rtmp);
    return fields;
}

}  // namespace rtmptest
