#pragma once
// An indexed store whose elements never move: it grows by whole blocks and keeps the ones it has.
//
// Block 0 holds 2^FirstShift elements and each further block twice as many as the one before, so
// a small store costs one small block, a big one needs few blocks, and the table of blocks is a
// fixed array inside the object: an empty store allocates nothing, and moving one allocates
// nothing either. Every block is owned by the table.
//
// Because an element keeps its address, threads may read and write elements they were handed
// while another thread appends: appending writes only new table entries and new elements. The
// store does not lock; callers serialise Append and hand indexes to other threads through their
// own synchronisation (a mutex, a queue), which also publishes the blocks those indexes lie in.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace folvane {

template <typename T, unsigned FirstShift> class TBlockStore {
public:
    TBlockStore() = default;
    ~TBlockStore() { destroy(); }
    TBlockStore(const TBlockStore &) = delete;
    TBlockStore &operator=(const TBlockStore &) = delete;
    TBlockStore(TBlockStore &&other) noexcept : blocks_(std::move(other.blocks_)), size_(other.size_)
    {
        other.size_ = 0;
    }
    TBlockStore &operator=(TBlockStore &&other) noexcept
    {
        if (this != &other) {
            destroy();
            blocks_ = std::move(other.blocks_);
            size_ = other.size_;
            other.size_ = 0;
        }
        return *this;
    }

    std::uint32_t Size() const { return size_; }

    // Adds `count` value-initialised elements and returns the index of the first. Throws
    // std::length_error beyond 2^32 - 2 elements, std::bad_alloc when memory runs out; either
    // way the store keeps what it had.
    std::uint32_t Append(std::uint32_t count)
    {
        const std::uint32_t first = size_;
        if (std::uint64_t(first) + count > kMaxElements)
            throw std::length_error("too many elements for one store");
        const std::uint32_t end = first + count;
        if (count > 0)
            for (unsigned b = locate(first).block; b <= locate(end - 1).block; ++b)
                if (!blocks_[b])
                    blocks_[b] = std::make_unique_for_overwrite<std::byte[]>(blockSize(b) * sizeof(T));
        for (std::uint32_t i = first; i < end; ++i)
            ::new (static_cast<void *>(slot(i))) T();
        size_ = end;
        return first;
    }

    // The element at an index below Size().
    T &operator[](std::uint32_t i) { return *slot(i); }
    const T &operator[](std::uint32_t i) const { return *slot(i); }

    // Drops every element and block.
    void Clear() { *this = TBlockStore(); }

private:
    static constexpr unsigned kBlocks = 33 - FirstShift;
    static constexpr std::uint64_t kMaxElements = UINT32_MAX - 1;
    static_assert(FirstShift < 32);

    struct Place {
        unsigned block;
        std::uint32_t offset;
    };
    static constexpr std::size_t blockSize(unsigned b) { return std::size_t(1) << (FirstShift + b); }
    // Block b holds the indexes from (2^b - 1) << FirstShift on.
    static Place locate(std::uint32_t i)
    {
        const std::uint64_t q = (std::uint64_t(i) >> FirstShift) + 1;
        const unsigned b = unsigned(std::bit_width(q)) - 1;
        return {b, std::uint32_t(i - (((std::uint64_t(1) << b) - 1) << FirstShift))};
    }
    T *slot(std::uint32_t i) const
    {
        const Place p = locate(i);
        return reinterpret_cast<T *>(blocks_[p.block].get()) + p.offset;
    }
    void destroy()
    {
        if constexpr (!std::is_trivially_destructible_v<T>)
            for (std::uint32_t i = 0; i < size_; ++i)
                slot(i)->~T();
        size_ = 0;
        for (auto &block : blocks_)
            block.reset();
    }

    std::array<std::unique_ptr<std::byte[]>, kBlocks> blocks_{};
    std::uint32_t size_ = 0;
};

} // namespace folvane
