#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <deque>
#include <mutex>

// Process-wide recycling allocator for frame matrices. A buffer comes back
// when the last cv::Mat referring to it is released, and is handed out again
// for the next matrix of the same byte size, so a steady stream of frames
// neither maps fresh pages nor faults them in. Idle buffers are capped in
// bytes (the oldest go first); buffers the host holds are not counted.
//
// Thread-safe: matrices are created on SDK threads and released on any
// thread. The instance is never destroyed, and the module that holds it is
// pinned once the first matrix is made, so frames may outlive every camera
// and the host's unload of the plug-in.
class FramePool : public cv::MatAllocator
{
public:
    static FramePool &instance();

    cv::UMatData *allocate(int dims, const int *sizes, int type, void *data, size_t *step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usageFlags) const override;
    bool allocate(cv::UMatData *data, cv::AccessFlag accessFlags, cv::UMatUsageFlags usageFlags) const override;
    void deallocate(cv::UMatData *data) const override;

    // A matrix of the given size whose pixels come from the pool.
    cv::Mat matrix(int rows, int cols, int type) const;

    size_t idleBytes() const;
    size_t capacity() const;
    void setCapacity(size_t bytes);

private:
    FramePool() = default;
    void trimLocked(size_t limit) const;

    struct Block {
        void *data;
        size_t size;
    };
    mutable std::mutex lock;
    mutable std::deque<Block> idle;  // oldest first
    mutable size_t idleTotal = 0;
    size_t cap = size_t(512) << 20;
};
