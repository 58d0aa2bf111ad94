#include "acquisition/bulkmemory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Under AddressSanitizer every block comes from malloc, one per request, so that a read past
// the end of a text or a node is caught instead of landing in the rest of an arena.
#if defined(__SANITIZE_ADDRESS__)
#define REGISTRADOR_PLAIN_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REGISTRADOR_PLAIN_MALLOC 1
#endif
#endif

namespace acq {

namespace {

[[maybe_unused]] constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kBulkFrom = std::size_t(1) << 20;
std::atomic<std::size_t> mapped{0};

[[maybe_unused]] std::size_t roundedUp(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

} // namespace

void* allocateBulk(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(REGISTRADOR_PLAIN_MALLOC)
    if (bytes >= kBulkFrom) {
        // Aligned to a huge page, so that the whole block can be backed by them.
        const std::size_t size = roundedUp(bytes);
        void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw != MAP_FAILED) {
            const auto start = reinterpret_cast<std::uintptr_t>(raw);
            const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
            if (aligned > start) munmap(raw, aligned - start);
            const std::uintptr_t end = start + size + kHugePage;
            if (end > aligned + size)
                munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
            void* p = reinterpret_cast<void*>(aligned);
            madvise(p, size, MADV_HUGEPAGE); // a hint: without huge pages the block still works
            mapped += size;
            return p;
        }
    }
#endif
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void freeBulk(void* p, [[maybe_unused]] std::size_t bytes) {
    if (!p) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(REGISTRADOR_PLAIN_MALLOC)
    if (bytes >= kBulkFrom) {
        munmap(p, roundedUp(bytes));
        mapped -= roundedUp(bytes);
        return;
    }
#endif
    std::free(p);
}

std::size_t bulkBytesMapped() {
    return mapped;
}

BulkArena::BulkArena(std::size_t bytes) : size_(bytes < kBulkFrom ? kBulkFrom : bytes) {
#if defined(REGISTRADOR_PLAIN_MALLOC)
    size_ = 0;
#else
    base_ = static_cast<char*>(allocateBulk(size_));
    if (!base_) size_ = 0;
#endif
}

BulkArena::~BulkArena() {
    for (void* p : spilled_)
        std::free(p);
    freeBulk(base_, size_);
}

void* BulkArena::allocate(std::size_t bytes) {
    const std::size_t need = (bytes + 15) & ~std::size_t(15);
    if (base_ && need <= size_ - used_) {
        void* p = base_ + used_;
        used_ += need;
        return p;
    }
    void* p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p) spilled_.insert(p);
    return p;
}

void BulkArena::release(void* p) {
    if (!p || owns(p)) return;
    spilled_.erase(p);
    std::free(p);
}

bool BulkArena::owns(const void* p) const {
    const auto* c = static_cast<const char*>(p);
    return base_ && c >= base_ && c < base_ + size_;
}

} // namespace acq
