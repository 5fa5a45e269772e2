// Fuzz targets for the module's routines through the C API, one per routine (ROBMAT_FUZZ_ROUTINE
// names it; fuzz/CMakeLists.txt builds one target for each name in its list). The bytes choose
// the routine's arguments (an option vector of up to 24 elements, robmat's own positions 22-24
// included; matrices of up to 12 rows and 6 columns; text or omitted arguments) with values
// drawn from the edges of the doubles (NaN, the missing value, +-Inf, +-0, denormals, the
// largest double) or taken raw from the input. The last byte's low bit gives the host one CPU
// or two (ROBMAT_CPUCOUNT), so that MCD's and FAST-LTS's subdatasets run both serially and on
// a worker thread. Properties: the call returns one of the C API's codes with a result handle
// and, when it fails, a message; the host finds no work space left behind and no write through
// a moved result (it reports either as an internal error); and the session works afterwards.
// A routine joins with its name in ROBMAT_FUZZ_ROUTINES (fuzz/CMakeLists.txt); kRoutines
// already knows how many arguments each routine takes.
#include <strings.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "robmat_host.h"

namespace {

struct Routine {
  const char* name;
  int max_args;
};

constexpr Routine kRoutines[] = {
    {"MAD", 2},
    {"MCD", 3},
    {"LMS", 4},
    {"LTS", 4},
    {"MVE", 3},
};

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  uint8_t next() { return p_ < end_ ? *p_++ : 0; }
  double raw() {
    uint64_t b = 0;
    for (int i = 0; i < 8; ++i) b = (b << 8) | next();
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// Values at the edges of what a double holds, and ordinary ones.
double value(Bytes& in) {
  const uint8_t pick = in.next();
  switch (pick % 16) {
    case 0:
      return std::nan("");
    case 1:
      return robmat_missing();
    case 2:
      return HUGE_VAL;
    case 3:
      return -HUGE_VAL;
    case 4:
      return 0.0;
    case 5:
      return -0.0;
    case 6:
      return DBL_TRUE_MIN * (pick >> 4);
    case 7:
      return DBL_MAX;
    case 8:
      return in.raw();
    case 9:
      return std::ldexp(1.0 + (pick >> 4) / 16.0, static_cast<int>(in.next()) - 128);
    default:
      return static_cast<double>(static_cast<int8_t>(in.next())) / ((pick >> 4) + 1);
  }
}

robmat_session* session() {
  static robmat_session* s = [] {
    robmat_session* opened = nullptr;
    const char* env = std::getenv("ROBMAT_MODULE");
    if (robmat_session_open(env && *env ? env : ROBMAT_MODULE_PATH, &opened) != ROBMAT_OK) {
      std::fprintf(stderr, "the module does not load\n");
      std::abort();
    }
    return opened;
  }();
  return s;
}

void check(bool ok, const char* what, robmat_result* r) {
  if (ok) return;
  std::fprintf(stderr, "property failed: %s (%s)\n", what, r ? robmat_result_error(r) : "no result");
  std::abort();
}

}  // namespace

const Routine& fuzzed_routine() {
  for (const Routine& r : kRoutines)
    if (strcasecmp(r.name, ROBMAT_FUZZ_ROUTINE) == 0) return r;
  std::fprintf(stderr, "no routine %s in kRoutines\n", ROBMAT_FUZZ_ROUTINE);
  std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  const Routine& routine = fuzzed_routine();
  robmat_args* args = robmat_args_new();
  const int nargs = 1 + in.next() % routine.max_args;
  for (int a = 0; a < nargs; ++a) {
    const uint8_t kind = in.next();
    if (kind % 8 == 0) {
      robmat_args_add_omitted(args);
    } else if (kind % 8 == 1) {
      const char* words[] = {"mad", "NMAD", "sn", "Qn", "", "qnqnqnqnq", "x"};
      robmat_args_add_text(args, words[in.next() % 7]);
    } else if (a == 0 && kind % 8 == 2) {
      // An option vector: mostly missing, with chosen positions set.
      const int len = in.next() % 25;
      std::vector<double> opt(static_cast<size_t>(len), robmat_missing());
      for (int k = in.next() % 6; k > 0 && len > 0; --k) opt[in.next() % len] = value(in);
      robmat_args_add_matrix(args, 1, len, opt.data(), nullptr);
    } else {
      const int64_t rows = in.next() % 13;
      const int64_t cols = in.next() % 7;
      std::vector<double> m(static_cast<size_t>(rows * cols));
      const bool plain = kind & 0x80;  // ordinary values only, so that the engines run
      for (double& v : m) v = plain ? static_cast<double>(static_cast<int8_t>(in.next())) / 8 : value(in);
      robmat_args_add_matrix(args, rows, cols, m.empty() ? nullptr : m.data(), nullptr);
    }
  }
  // The last byte rather than a new first one, so that the corpus's inputs keep their arguments.
  setenv("ROBMAT_CPUCOUNT", size > 0 && (data[size - 1] & 1) != 0 ? "2" : "1", 1);
  robmat_result* r = nullptr;
  const int code = robmat_call(session(), routine.name, args, &r);
  robmat_args_free(args);
  check(r != nullptr, "a result handle", r);
  check(code >= ROBMAT_OK && code <= ROBMAT_ERR_INTERRUPTED && code != ROBMAT_ERR_INTERRUPTED,
        "a known code",
        r);
  check(code == ROBMAT_OK || std::strlen(robmat_result_error(r)) > 0, "a message for a failure", r);
  check(std::strncmp(robmat_result_error(r), "Internal error", 14) != 0, "no internal error", r);
  for (int k = 1; k <= robmat_result_count(r); ++k) {
    const int64_t n = robmat_result_rows(r, k) * robmat_result_cols(r, k);
    check(n == 0 || robmat_result_data(r, k) != nullptr, "result data", r);
  }
  robmat_result_free(r);

  // The session goes on: a call with a known answer.
  const double x[3] = {1, 2, 4};
  robmat_args* again = robmat_args_new();
  robmat_args_add_matrix(again, 3, 1, x, nullptr);
  robmat_result* ok = nullptr;
  check(robmat_call(session(), "MAD", again, &ok) == ROBMAT_OK && robmat_result_data(ok, 1)[0] == 1.0,
        "the session works after the call",
        ok);
  robmat_result_free(ok);
  robmat_args_free(again);
  return 0;
}
