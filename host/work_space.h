// The work-space blocks a session keeps between its calls. A routine asks for the same large
// blocks on every call; fresh ones cost a page fault per page on first touch, which at a
// million values is a large part of the call. Freed large blocks are therefore kept (their
// contents undefined, as fresh ones are) and handed out again, within a bound: what at least
// two of the last eight calls needed, at most an eighth of the machine's memory, and nothing
// once an allocation fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// ROBMAT_ASAN: built with AddressSanitizer, the configuration the tests also run in.
#if defined(__SANITIZE_ADDRESS__)
#define ROBMAT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROBMAT_ASAN 1
#endif
#endif

namespace robmat::host {

class WorkSpace {
 public:
  // Blocks below this size come from malloc and go back to it: its free lists serve them.
  static constexpr size_t kSmallest = size_t{64} << 10;

  WorkSpace();
  ~WorkSpace();
  WorkSpace(const WorkSpace&) = delete;
  WorkSpace& operator=(const WorkSpace&) = delete;

  // A block of at least `bytes` bytes and its usable size in *capacity; null when memory
  // cannot be had even after the kept blocks were given back.
  void* take(size_t bytes, size_t* capacity);
  // Returns a block from take (with its capacity) for later calls.
  void give(void* block, size_t capacity);
  // At the end of a call that had at most `peak` bytes of large blocks at once: keeps what
  // recent calls needed and frees the rest.
  void settle(size_t peak);
  // Frees every kept block.
  void release();

  size_t kept_bytes() const;
  size_t kept_blocks() const;

 private:
  struct Block {
    void* p;
    size_t capacity;
  };
  void trim_to(size_t budget);  // mutex held

  mutable std::mutex mutex_;
  std::vector<Block> free_;
  size_t kept_ = 0;
  std::array<size_t, 8> peaks_{};  // of the last calls, oldest overwritten first
  size_t next_peak_ = 0;
  size_t limit_;
};

}  // namespace robmat::host
