#pragma once
// Large blocks for tables and file reading. On the virtual machines the program runs on, the
// first touch of each 4 KiB page costs about 10 µs: a table of 64 000 rows would spend more
// time in page faults than in reading its file. Blocks of 1 MiB and more are therefore mapped
// in whole 2 MiB pages where the system offers them (Linux: transparent huge pages); smaller
// ones, and every block elsewhere, come from malloc.
#include <cstddef>
#include <new>
#include <unordered_set>

namespace acq {

void* allocateBulk(std::size_t bytes);
void freeBulk(void* p, std::size_t bytes);
/// Bytes held in mapped blocks now (the part of the memory that malloc's counters miss).
std::size_t bulkBytesMapped();

template <typename T> struct BulkAllocator {
    using value_type = T;
    BulkAllocator() = default;
    template <typename U> BulkAllocator(const BulkAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (void* p = allocateBulk(n * sizeof(T))) return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, std::size_t n) { freeBulk(p, n * sizeof(T)); }
    template <typename U> bool operator==(const BulkAllocator<U>&) const { return true; }
};

/// A bump allocator over one bulk block, for what a file read leaves behind all at once:
/// the file's text and the parser's nodes. What does not fit comes from malloc.
class BulkArena {
public:
    explicit BulkArena(std::size_t bytes);
    ~BulkArena();
    BulkArena(const BulkArena&) = delete;
    BulkArena& operator=(const BulkArena&) = delete;

    void* allocate(std::size_t bytes); ///< 16-byte aligned; never null unless malloc fails
    /// Frees a block from malloc at once; arena memory, and blocks never released, go with
    /// the arena.
    void release(void* p);
    bool owns(const void* p) const;

private:
    char* base_ = nullptr;
    std::size_t size_ = 0;
    std::size_t used_ = 0;
    std::unordered_set<void*> spilled_; ///< blocks that did not fit, from malloc
};

} // namespace acq
