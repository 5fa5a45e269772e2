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

// Doubles that hold k records of T.
template <class T>
constexpr long record_doubles(long k) {
  return (k * static_cast<long>(sizeof(T)) + static_cast<long>(sizeof(double)) - 1) /
         static_cast<long>(sizeof(double));
}

// take_records: k records of T from an arena of doubles, or null. The records are plain
// aggregates aligned no more strictly than a double, so a block of doubles holds them.
template <class T>
T* take_records(Arena<double>* a, long k) {
  static_assert(alignof(T) <= alignof(double));
  return reinterpret_cast<T*>(a->take(record_doubles<T>(k)));
}

}  // namespace robmat
