// The session's kept work-space blocks; see work_space.h. Under AddressSanitizer a kept block
// is poisoned, so a routine that writes through a block it freed is still caught although
// the memory stays with the host.
#include "work_space.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#ifdef ROBMAT_ASAN
#include <sanitizer/asan_interface.h>
#define POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POISON(p, n) ((void)(p), (void)(n))
#define UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace robmat::host {

namespace {

// An eighth of the memory, and never more than 1 GiB: kept blocks are idle memory.
size_t memory_limit() {
  const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  const size_t gib = size_t{1} << 30;
  if (pages <= 0 || page <= 0) return gib / 4;
  return std::min(gib, static_cast<size_t>(pages) / 8 * static_cast<size_t>(page));
}

}  // namespace

WorkSpace::WorkSpace() : limit_(memory_limit()) {}

WorkSpace::~WorkSpace() { release(); }

void* WorkSpace::take(size_t bytes, size_t* capacity) {
  if (bytes >= kSmallest) {
    std::lock_guard lock(mutex_);
    // The smallest kept block that fits, unless it is more than twice what is asked: a small
    // request must not hold a large block that the next call needs.
    auto best = free_.end();
    for (auto it = free_.begin(); it != free_.end(); ++it)
      if (it->capacity >= bytes && it->capacity / 2 <= bytes &&
          (best == free_.end() || it->capacity < best->capacity))
        best = it;
    if (best != free_.end()) {
      const Block b = *best;
      free_.erase(best);
      kept_ -= b.capacity;
      UNPOISON(b.p, b.capacity);
      *capacity = b.capacity;
      return b.p;
    }
  }
  void* p = std::malloc(bytes > 0 ? bytes : 1);
  if (p == nullptr && kept_bytes() > 0) {
    // Memory is tight: what is kept goes back first.
    release();
    p = std::malloc(bytes > 0 ? bytes : 1);
  }
  *capacity = p != nullptr ? bytes : 0;
  return p;
}

void WorkSpace::give(void* block, size_t capacity) {
  if (block == nullptr) return;
  if (capacity < kSmallest || capacity > limit_) {
    std::free(block);
    return;
  }
  std::lock_guard lock(mutex_);
  POISON(block, capacity);
  free_.push_back({block, capacity});
  kept_ += capacity;
}

void WorkSpace::settle(size_t peak) {
  std::lock_guard lock(mutex_);
  peaks_[next_peak_] = peak;
  next_peak_ = (next_peak_ + 1) % peaks_.size();
  // What at least two of the recent calls needed: one call far larger than the others does
  // not keep its blocks, a size that recurs does.
  std::array<size_t, 8> sorted = peaks_;
  std::nth_element(sorted.begin(), sorted.begin() + 1, sorted.end(), std::greater<>());
  trim_to(std::min(sorted[1], limit_));
}

void WorkSpace::release() {
  std::lock_guard lock(mutex_);
  trim_to(0);
}

size_t WorkSpace::kept_bytes() const {
  std::lock_guard lock(mutex_);
  return kept_;
}

size_t WorkSpace::kept_blocks() const {
  std::lock_guard lock(mutex_);
  return free_.size();
}

void WorkSpace::trim_to(size_t budget) {
  // The largest blocks go first: they are the ones an unusual call left.
  std::sort(
      free_.begin(), free_.end(), [](const Block& a, const Block& b) { return a.capacity < b.capacity; });
  while (kept_ > budget && !free_.empty()) {
    const Block b = free_.back();
    free_.pop_back();
    kept_ -= b.capacity;
    UNPOISON(b.p, b.capacity);
    std::free(b.p);
  }
}

}  // namespace robmat::host
