// The session's kept work-space blocks: which blocks serve a request, and what is kept after
// a call (what two of the last eight calls needed, so one unusually large call keeps nothing).
#include "work_space.h"

#include <gtest/gtest.h>

namespace {

using robmat::host::WorkSpace;

constexpr size_t kMiB = size_t{1} << 20;

// One call that takes blocks of the given sizes at once and gives them back.
void call(WorkSpace& w, std::initializer_list<size_t> sizes) {
  std::vector<std::pair<void*, size_t>> held;
  size_t peak = 0;
  for (size_t bytes : sizes) {
    size_t capacity = 0;
    void* p = w.take(bytes, &capacity);
    ASSERT_NE(p, nullptr);
    EXPECT_GE(capacity, bytes);
    held.emplace_back(p, capacity);
    peak += capacity;
  }
  for (auto [p, capacity] : held) w.give(p, capacity);
  w.settle(peak);
}

TEST(WorkSpace, KeepsWhatRecursAndGivesBackAnUnusualCall) {
  WorkSpace w;
  call(w, {8 * kMiB, 2 * kMiB});
  EXPECT_EQ(w.kept_bytes(), 0u) << "one call is not yet a pattern";
  call(w, {8 * kMiB, 2 * kMiB});
  EXPECT_EQ(w.kept_bytes(), 10 * kMiB);
  EXPECT_EQ(w.kept_blocks(), 2u);
  // A call four times as large keeps nothing beyond what the usual calls needed.
  call(w, {40 * kMiB});
  EXPECT_EQ(w.kept_bytes(), 10 * kMiB);
  // Small blocks go to malloc and back.
  call(w, {1000, 2000});
  call(w, {1000, 2000});
  EXPECT_EQ(w.kept_blocks(), 2u);
  w.release();
  EXPECT_EQ(w.kept_bytes(), 0u);
}

TEST(WorkSpace, ServesARequestWithTheSmallestBlockThatFitsIt) {
  WorkSpace w;
  call(w, {4 * kMiB, 1 * kMiB});
  call(w, {4 * kMiB, 1 * kMiB});
  ASSERT_EQ(w.kept_blocks(), 2u);
  struct Case {
    size_t bytes;
    size_t capacity;  // of the block that serves it
  } cases[] = {
      {1 * kMiB, 1 * kMiB},
      {kMiB / 2 + 1, 1 * kMiB},
      {kMiB / 2 - 1, kMiB / 2 - 1},  // a fresh block: the kept one is more than twice as large
      {3 * kMiB, 4 * kMiB},
      {5 * kMiB, 5 * kMiB},  // larger than every kept block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    size_t capacity = 0;
    void* p = w.take(c.bytes, &capacity);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(capacity, c.capacity);
    w.give(p, capacity);
  }
}

}  // namespace
