// One media session of the host: its receivers, its input-stream protocol, its inputs under
// handles from 100, and its output.
//
// Owns (through shared owners) its InputStreamManager, its QXProtocol, its Output and its
// inputs; keeps the memory allocator as a plain pointer. Owned by the ContextManager's map
// through a shared owner, which a handler may copy for the length of a command.
// Threads: control operations run on the pump thread; OnStreamData runs on the receiver
// threads, which reach the protocol through an atomically swapped shared owner, so releasing
// the protocol never pulls it from under a delivery. lock_ guards the input table and the next
// handle and is held across Input::BookStream and the output's calls, which take the
// protocol's and the output's locks: the context's lock comes first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/WLock.h"
#include "interfaces/IMemoryAllocator.h"
#include "interfaces/IUnknown.h"
#include "media/audio/WaveFormat.h"
#include "media/input/IStreamDataTarget.h"
#include "media/input/Input.h"
#include "media/input/InputStreamManager.h"
#include "media/input/MediaTypes.h"
#include "media/input/QXProtocol.h"
#include "media/output/IInputBooking.h"
#include "media/output/Output.h"
#include "media/output/OutputParams.h"

namespace streammanager {

class Context : public IStreamDataTarget, public IInputBooking {
  public:
    Context() = default;
    virtual ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // 0 or E_FAIL; parts made before a failing step stay until destruction.
    int32_t Init(int32_t handle, IUnknown* framework, void* sessionManager,
                 IMemoryAllocator* memoryAllocator, int32_t port, const WaveFormat& waveFormat);
    // A ResultCode: kResultOk, kResultContextInitFailed (no key), kResultStreamBooked (with the
    // existing input's handle), or the booking's own code.
    uint16_t CreateInput(const InputStreamKey* key, int32_t* inputHandle);
    // kResultOk, or kResultNoSuchInput.
    uint16_t RemoveInput(int32_t inputHandle);
    int32_t BookInput(int32_t inputHandle) override;
    int32_t UnBookInput(int32_t inputHandle) override;
    uint8_t GetInputMediaType(int32_t inputHandle) override;
    void StopAllInputs();
    // Hands the CDN URL list to the output: its result, or E_FAIL without an output.
    int32_t InitRtmpPusher(const std::vector<std::string>& urls);
    // Builds the encoding block (bitrate by the output's rule) and sets the output up: the
    // output's result.
    int32_t SetOutParam(const AudioOutputParam& audio, const VideoOutputParam& video,
                        int32_t frameRate, int32_t qualityLevel);

    int32_t Handle() const { return handle_; }
    const std::shared_ptr<Output>& GetOutput() const { return output_; }
    const WaveFormat& GetWaveFormat() const { return waveFormat_; }
    // The input under `inputHandle`, or none.
    std::shared_ptr<Input> FindInput(int32_t inputHandle);

    void OnStreamData(uint8_t type, uint8_t mediaId, const uint8_t* data, uint32_t length,
                      uint32_t userId, uint16_t valueA, uint16_t valueB) override;

  private:
    std::shared_ptr<QXProtocol> Protocol() const { return std::atomic_load(&protocol_); }

    // Given by Init (pump thread), read-only afterwards.
    int32_t handle_ = 0;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    WaveFormat waveFormat_;

    // Owned parts, made by Init and dropped by the destructor (pump thread); the receivers
    // read protocol_ only through the atomic Protocol().
    std::shared_ptr<QXProtocol> protocol_;
    std::shared_ptr<InputStreamManager> inputStreamManager_;
    std::shared_ptr<Output> output_;

    KESTREL::WLock lock_;
    int32_t nextInputHandle_ GUARDED_BY(lock_) = 100;
    std::unordered_map<int32_t, std::shared_ptr<Input>> inputs_ GUARDED_BY(lock_){8};
};

}  // namespace streammanager
