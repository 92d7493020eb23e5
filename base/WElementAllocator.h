// KESTREL::WElementAllocator<T>: a pool of T that grows by blocks of growCount elements and
// hands elements back out in the order they were freed. Any thread may Alloc and Free;
// lock_ guards the block list and the free list. Elements are not reconstructed on reuse.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "base/WLock.h"

namespace KESTREL {

template <typename T>
class WElementAllocator {
  public:
    explicit WElementAllocator(size_t growCount) : growCount_(growCount > 0 ? growCount : 1) {}
    virtual ~WElementAllocator() = default;
    WElementAllocator(const WElementAllocator&) = delete;
    WElementAllocator& operator=(const WElementAllocator&) = delete;

    // Null when the pool cannot grow.
    T* Alloc() {
        WAutoLock lock(&lock_);
        if (head_ == nullptr && !Grow()) {
            return nullptr;
        }
        Node* node = head_;
        head_ = node->next;
        if (head_ == nullptr) {
            tail_ = nullptr;
        }
        node->next = nullptr;
        return &node->element;
    }

    // `element` must come from this pool's Alloc.
    void Free(T* element) {
        if (element == nullptr) {
            return;
        }
        Node* node = reinterpret_cast<Node*>(element);
        WAutoLock lock(&lock_);
        node->next = nullptr;
        if (tail_ != nullptr) {
            tail_->next = node;
        } else {
            head_ = node;
        }
        tail_ = node;
    }

  private:
    struct Node {
        T element;  // first member: a T* is a Node*
        Node* next = nullptr;
    };

    bool Grow() REQUIRES(lock_) {
        std::unique_ptr<Node[]> block(new (std::nothrow) Node[growCount_]);
        if (!block) {
            return false;
        }
        if (tail_ == nullptr) {
            tail_ = &block[0];
        }
        for (size_t i = 0; i < growCount_; ++i) {
            block[i].next = head_;
            head_ = &block[i];
        }
        blocks_.push_back(std::move(block));
        return true;
    }

    const size_t growCount_;
    WLock lock_;
    std::vector<std::unique_ptr<Node[]>> blocks_ GUARDED_BY(lock_);
    Node* head_ GUARDED_BY(lock_) = nullptr;
    Node* tail_ GUARDED_BY(lock_) = nullptr;
};

}  // namespace KESTREL
