// One media session of the host: its receivers, its input-stream protocol, its inputs under
// handles from 100, and its output. The ContextManager keeps it in its map by shared owner.
//
// Control operations run on the pump thread; OnStreamData runs on the receiver threads, which
// reach the protocol through an atomically swapped shared owner so that releasing the protocol
// never pulls it from under a delivery. lock_ guards the input table and the next handle and is
// held across Input::BookStream, which takes the protocol's lock (context, then protocol).
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "base/WLock.h"
#include "interfaces/IMemoryAllocator.h"
#include "interfaces/IUnknown.h"
#include "media/IStreamDataTarget.h"
#include "media/Input.h"
#include "media/InputStreamManager.h"
#include "media/MediaTypes.h"
#include "media/Output.h"
#include "media/QXProtocol.h"

namespace streammanager {

class StreamManager;

enum ContextResult : uint16_t {
    kContextOk = 0,
    kContextNoKey = 30000,
    kContextInputExists = 30012,
    kContextNoSuchInput = 30013,
};

class Context : public IStreamDataTarget {
  public:
    Context() = default;
    virtual ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // 0 or E_FAIL; parts made before a failing step stay until destruction.
    int32_t Init(int32_t handle, StreamManager* streamManager, IUnknown* framework,
                 void* sessionManager, IMemoryAllocator* memoryAllocator, int32_t port,
                 const WaveFormat& waveFormat);
    uint16_t CreateInput(const InputStreamKey* key, int32_t* inputHandle);
    uint16_t RemoveInput(int32_t inputHandle);
    int32_t BookInput(int32_t inputHandle);
    int32_t UnBookInput(int32_t inputHandle);
    uint8_t GetInputMediaType(int32_t inputHandle);
    void StopAllInputs();

    int32_t Handle() const { return handle_; }
    const std::shared_ptr<Output>& GetOutput() const { return output_; }
    const WaveFormat& GetWaveFormat() const { return waveFormat_; }
    // The input under `inputHandle`, or none.
    std::shared_ptr<Input> FindInput(int32_t inputHandle);

    void OnStreamData(uint8_t type, uint8_t mediaId, const uint8_t* data, uint32_t length,
                      uint32_t userId, uint16_t valueA, uint16_t valueB) override;

  private:
    std::shared_ptr<QXProtocol> Protocol() const { return std::atomic_load(&protocol_); }

    // Given by Init.
    int32_t handle_ = 0;
    StreamManager* streamManager_ = nullptr;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    WaveFormat waveFormat_;

    // Owned parts.
    std::shared_ptr<QXProtocol> protocol_;  // read and swapped atomically
    std::shared_ptr<InputStreamManager> inputStreamManager_;
    std::shared_ptr<Output> output_;

    KESTREL::WLock lock_;
    int32_t nextInputHandle_ GUARDED_BY(lock_) = 100;
    std::unordered_map<int32_t, std::shared_ptr<Input>> inputs_ GUARDED_BY(lock_){8};
};

}  // namespace streammanager
