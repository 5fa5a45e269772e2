// Carving of work space: consecutive pieces of one block, handed out in order. Front ends
// carve their host blocks into the run descriptor with it, and engines carve what remains.
#pragma once

namespace robmat {

// Arena: `cap` elements at `base`, `used` of them handed out.
template <class T>
struct Arena {
  T* base = nullptr;
  long cap = 0;
  long used = 0;

  // The next k elements, or null (nothing taken) when fewer than k are left.
  T* take(long k) {
    if (k < 0 || cap - used < k) return nullptr;
    T* v = base + used;
    used += k;
    return v;
  }
  // Returns the last k elements taken.
  void give_back(long k) { used -= k; }
  long left() const { return cap - used; }
};

}  // namespace robmat
