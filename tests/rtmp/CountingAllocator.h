// A memory allocator for tests that counts the buffers it has handed out and not had back,
// and can be made to run dry. Any thread; the counts are atomic.
#pragma once

#include <atomic>
#include <cstring>
#include <memory>

#include "interfaces/IMemoryAllocator.h"

namespace rtmptest {

class CountingAllocator : public IMemoryAllocator {
  public:
    int Live() const { return live_.load(); }
    void RunDry(bool dry) { dry_.store(dry); }

    IMemoryBuffer* Allocate(uint32_t size) override {
        if (dry_.load()) {
            return nullptr;
        }
        live_.fetch_add(1);
        return new Buffer(size, &live_);
    }
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_FAIL; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

  private:
    class Buffer : public IMemoryBuffer {
      public:
        Buffer(uint32_t capacity, std::atomic<int>* live)
            : data_(new uint8_t[capacity]), capacity_(capacity), live_(live) {}
        uint32_t AddRef() override { return ++refs_; }
        uint32_t Release() override {
            const uint32_t left = --refs_;
            if (left == 0) {
                live_->fetch_sub(1);
                delete this;
            }
            return left;
        }
        HRESULT Write(const void* data, uint32_t length) override {
            if (length > capacity_) {
                return E_INVALIDARG;
            }
            std::memcpy(data_.get(), data, length);
            length_ = length;
            return S_OK;
        }
        uint8_t* GetData() override { return data_.get(); }
        uint32_t GetLength() const override { return length_; }
        uint32_t GetCapacity() const override { return capacity_; }

      private:
        std::unique_ptr<uint8_t[]> data_;
        const uint32_t capacity_;
        uint32_t length_ = 0;
        std::atomic<uint32_t> refs_{1};
        std::atomic<int>* live_;
    };

    std::atomic<int> live_{0};
    std::atomic<bool> dry_{false};
};

}  // namespace rtmptest
