// The screen recorder: records the X11 screen, a region of it or one window, with the sound the
// host relays as PCM blocks, into an MP4 (fragmented) or FLV file.
//
// One recorder per recording, made through the component factory (CLSID_ScreenRecorder) and
// driven by the program's ScreenRecord: Start, then WriteData from the ring reader's thread
// while SetPause, GetRecordTime and Stop come from the control path; the last Release frees it
// (stopping first if needed). Every operation may be called from any thread.
#pragma once

#include <cstdint>

#include "interfaces/IUnknown.h"

// What to record, as the host sends it; the program passes it on unread.
struct RecordParams {
    int32_t size;         // not read
    int32_t hasVideo;     // 1: capture the screen; 0: sound only (no display needed)
    int32_t profile;      // not read
    int32_t clipUponWnd;  // 1: capture the window capWnd
    int32_t capWnd;       // X window id
    int32_t capLeft;      // region of the screen; width or height 0: the whole screen
    int32_t capTop;
    int32_t capWidth;
    int32_t capHeight;
    int32_t videoFrameRate;   // 1 to 120
    int32_t videoBitrate;     // bits per second; 0 or less: 2 Mbit/s
    int32_t hasAudio;         // 1: encode the PCM blocks given to WriteData
    int32_t audioSampleRate;  // 8000 to 192000
    int32_t audioChannels;    // 1 or 2
    int32_t bitsPerSample;    // 16 (signed little-endian)
    int32_t audioBitrate;     // bits per second; 0 or less: 128 kbit/s
    int32_t mp4;              // 1: fragmented MP4; otherwise FLV
};
static_assert(sizeof(RecordParams) == 17 * sizeof(int32_t), "seventeen words");

// A record path holds at most 259 UTF-16 units and its terminating zero.
constexpr int kRecordPathUnits = 260;

// Results of Start besides S_OK and E_POINTER.
constexpr HRESULT REC_E_BAD_PARAM = static_cast<HRESULT>(0x80040400u);  // a value out of range
constexpr HRESULT REC_E_CAPTURE = static_cast<HRESULT>(0x80040401u);    // no display, window
                                                                        // or region
constexpr HRESULT REC_E_FILE = static_cast<HRESULT>(0x80040402u);       // the path cannot be
                                                                        // written
constexpr HRESULT REC_E_ENCODER = static_cast<HRESULT>(0x80040403u);
constexpr HRESULT REC_E_STARTED = static_cast<HRESULT>(0x80040404u);  // Start twice

// States of GetState.
constexpr int32_t kRecorderIdle = 0;
constexpr int32_t kRecorderRecording = 1;
constexpr int32_t kRecorderPaused = 2;
constexpr int32_t kRecorderStopped = 3;

class IScreenRecorder : public IUnknown {
  public:
    // One of the states above.
    virtual int32_t GetState() = 0;
    // 1: pause (what arrives meanwhile is dropped, timestamps stay continuous); 0: resume.
    virtual HRESULT SetPause(int32_t pause) = 0;
    // Finishes the file; later WriteData calls are dropped.
    virtual HRESULT Stop() = 0;
    // One block of interleaved PCM in the format Start was given; the data is not kept.
    virtual HRESULT WriteData(const uint8_t* data, int32_t length) = 0;
    // Milliseconds recorded so far, pauses excluded.
    virtual int32_t GetRecordTime() = 0;
    // Opens the capture, the encoders and the file (path: UTF-16, zero-terminated) and starts
    // recording. On failure nothing is left running or open.
    virtual HRESULT Start(const RecordParams* params, const char16_t* path) = 0;
};
