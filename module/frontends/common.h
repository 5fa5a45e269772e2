// The skeleton every front end shares: the call's host resources (output manager, work-space
// blocks) released together on every path, the argument rules checked from a table, the
// result matrices created in one step, and the names, missing-value fills and packed-matrix
// expansion of the results. A new front end is a rule table, a sizing function, carving and
// the engine call (frontends/mcd.cpp is the worked example).
#pragma once

#include <cstdint>
#include <exception>

#include "robmat/host_services.h"
#include "robmat/lmtstr.h"

namespace robmat {

// Host status codes that the front ends return.
inline constexpr int32_t kStatusNoSpace = 1;
inline constexpr int32_t kStatusShape = 6;
inline constexpr int32_t kStatusNotNumeric = 13;
inline constexpr int32_t kStatusMissing = 17;
inline constexpr int32_t kStatusKeyword = 19;
inline constexpr int32_t kStatusNoManager = 100;

// ---- the call's resources --------------------------------------------------------------
// CallFrame: the output manager (in str->rpx) and the work-space blocks of one call. Its
// destructor releases the manager and frees every block, so a front end simply returns its
// status on every path. Host services may unwind the call (an xexit, or an interrupt noticed
// at the next service), so the destructor lets that pass (noexcept(false)), and while the
// call is already unwinding it asks the host for nothing: the host frees what the call holds.
// Once a block is refused, later requests are not made. The results made through
// create_results are remembered: when a run ends by unwinding (an engine that cannot go on),
// the destructor leaves every one of them missing, so nothing half computed is handed back.
class CallFrame {
 public:
  explicit CallFrame(LMTSTR* str = nullptr) : str_(str), unwinding_(std::uncaught_exceptions()) {}
  ~CallFrame() noexcept(false);
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

  // Creates the output manager into str->rpx. Returns 0, or kStatusNoManager after logging
  // the host's status when there is none; a negative status ends the run (xexit).
  int32_t open_manager();
  // `count` elements of T from host work space, or null when the host refuses (or refused
  // an earlier request of this frame).
  template <class T>
  T* block(long count) {
    return static_cast<T*>(raw_block(static_cast<int64_t>(sizeof(T)) * count));
  }
  bool failed() const { return failed_; }
  // Remembers result k (0-based) of n values, to be left missing if the run unwinds.
  void keep_result(int k, double* v, long n);

 private:
  void* raw_block(int64_t bytes);
  static constexpr int kMaxBlocks = 8;
  LMTSTR* str_;
  int unwinding_;  // exceptions in flight when the frame was made
  void* blocks_[kMaxBlocks] = {};
  int nblocks_ = 0;
  static constexpr int kMaxResults = 3;
  double* results_[kMaxResults] = {};
  long result_len_[kMaxResults] = {};
  bool failed_ = false;
};

// Result k (1-based) as rows x cols.
struct ResultShape {
  int32_t rows;
  int32_t cols;
};
// create_results: results 1..count with the given shapes, each filled with missing values,
// then the address of each into res (creating a result may move the earlier ones). False,
// with nothing more created, at the first refusal; false without asking when the frame
// already failed.
bool create_results(CallFrame* frame, const ResultShape* shapes, int count, double** res);

// ---- arguments --------------------------------------------------------------------------
// One argument as fetched: its kind, shape and elements (numbers or characters).
struct Arg {
  bool given = false;
  bool numeric = false;
  int32_t rows = 0;
  int32_t cols = 0;
  int64_t elen = 0;  // characters of a character value
  const void* addr = nullptr;
  const double* x() const { return numeric ? static_cast<const double*>(addr) : nullptr; }
  bool is_vector() const { return rows <= 1 || cols <= 1; }
  long length() const { return static_cast<long>(rows) * cols; }
};

// The checks of an argument rule; each fails with the rule's status.
enum ArgCheck : int8_t {
  kArgOptional,   // not a check: the argument's later rules apply only when it is given
  kArgNumeric,    // a numeric matrix (an argument not given is not one)
  kArgVector,     // at most one row or one column
  kArgColumn,     // exactly one column
  kArgNonEmpty,   // at least one row and one column
  kArgNoMissing,  // no missing value
  kArgRowsOf,     // as many rows as argument `ref`
  kArgPoints,     // a vector of cols(argument `ref`) + 1 elements (a start subset)
  kArgKeyword,    // a 1 x 1 character value of 1 to 8 characters, or a 0 x 0 matrix
};

// One rule: argument `arg` (0-based) must pass `check`, else the front end returns `status`.
struct ArgRule {
  int8_t arg;
  ArgCheck check;
  int8_t ref;
  int32_t status;
};

// The arguments of MVE and MCD: opt, x, and an optional start subset of p + 1 observation
// numbers.
inline constexpr ArgRule kScatterArgs[] = {
    {0, kArgNumeric, 0, kStatusNotNumeric},
    {0, kArgVector, 0, kStatusShape},
    {1, kArgNumeric, 0, kStatusNotNumeric},
    {1, kArgNoMissing, 0, kStatusMissing},
    {2, kArgOptional, 0, 0},
    {2, kArgNumeric, 0, kStatusNotNumeric},
    {2, kArgNoMissing, 0, kStatusMissing},
    {2, kArgPoints, 1, kStatusShape},
};

// fetch_arguments: the first `count` arguments; those beyond *to_n or null are not given.
void fetch_arguments(DULSYM** arg, int32_t to_n, Arg* args, int count);
// check_arguments: the rules in order; returns the status of the first that fails, or 0.
int32_t check_arguments(const ArgRule* rules, int nrules, DULSYM** arg, const Arg* args);
template <int N>
int32_t check_arguments(const ArgRule (&rules)[N], DULSYM** arg, const Arg* args) {
  return check_arguments(rules, N, arg, args);
}

// ---- results ----------------------------------------------------------------------------
// Names "VAR1" .. "VARp" (built with the host's znamfix) and `last` after them: p + 1 records.
void make_names(U_SNAME* pnam, long p, const char* last);

void fill_missing(double* v, long n);

// A distance from its square, 0 for a square that rounding left at or below 0.
double root_or_zero(double v);

// Expands a packed lower triangle (by rows) of order p into a full p x p row-major matrix.
void expand_packed(long p, const double* packed, double* full);

}  // namespace robmat
