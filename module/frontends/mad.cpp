// MAD: one robust scale per column of a matrix, over the column's non-missing values. The
// method keyword is matched by prefix after upper-casing, so "qn", "Qn" and "QNX" agree.
#include <cstring>

#include "frontends/common.h"
#include "frontends/frontends.h"
#include "robmat/arena.h"
#include "robmat/services.h"
#include "scale/scale.h"

namespace robmat {

namespace {

enum MadMethod { kRawMad = 0, kNormalizedMad = 1, kSn = 2, kQn = 3 };

// x, and an optional method keyword.
constexpr ArgRule kMadArgs[] = {
    {0, kArgNumeric, 0, kStatusNotNumeric},
    {0, kArgNonEmpty, 0, kStatusShape},
    {1, kArgOptional, 0, 0},
    {1, kArgKeyword, 0, kStatusKeyword},
};

int match_method(const char* sopt) {
  if (std::memcmp(sopt, "MAD", 3) == 0) return kRawMad;
  if (std::memcmp(sopt, "NMA", 3) == 0) return kNormalizedMad;
  if (std::memcmp(sopt, "SN", 2) == 0) return kSn;
  if (std::memcmp(sopt, "QN", 2) == 0) return kQn;
  return -1;
}

// The method a keyword names; an empty keyword is the raw MAD, an unknown one too, after a
// note that says so.
int method_of(const Arg& keyword) {
  if (!keyword.given || keyword.rows == 0) return kRawMad;
  char sopt[9];  // 8 characters padded with blanks, and a terminator for the note
  std::memset(sopt, ' ', 8);
  sopt[8] = '\0';
  std::memcpy(sopt, keyword.addr, static_cast<size_t>(keyword.elen));
  wzstrup(sopt, 8);
  const int iopt = match_method(sopt);
  if (iopt >= 0) return iopt;
  xpslog("%3zThe second argument %8s %s %s %s",
         sopt,
         "of the MAD function does not specify any of the",
         "valid options. The common MAD (median absolute",
         "deviation) is computed.");
  return kRawMad;
}

double scale_of(int iopt, long m, double* a, double* w, long* iw) {
  switch (iopt) {
    case kRawMad:
      return zmad(0, m, a);
    case kNormalizedMad:
      return zmad(1, m, a);
    case kSn:
      return zs_n(m, a, w);
    default:
      return zq_n(m, a, w, iw);
  }
}

}  // namespace

int32_t duxmad(DULSYM** arg, int32_t* to_n) {
  Arg args[2];
  fetch_arguments(arg, *to_n, args, 2);
  if (int32_t rc = check_arguments(kMadArgs, arg, args); rc != 0) return rc;
  const long n = args[0].rows;
  const long m = args[0].cols;
  const double* x = args[0].x();
  const int iopt = method_of(args[1]);

  // a: the column's values; w: the estimator's work (2n for Qn); iw: Qn's 6n integers, in
  // the same block.
  CallFrame frame;
  const long doubles = iopt == kQn ? 9 * n : 2 * n;
  Arena<double> block{frame.block<double>(doubles), doubles};
  const ResultShape shape{1, static_cast<int32_t>(m)};
  double* res = nullptr;
  if (!create_results(&frame, &shape, 1, &res)) return kStatusNoSpace;
  double* a = block.take(n);
  double* w = block.take(iopt == kQn ? 2 * n : n);
  long* iw = iopt == kQn ? reinterpret_cast<long*>(block.take(6 * n)) : nullptr;

  for (long j = 0; j < m; ++j) {
    long nNonMiss = 0;
    for (long i = 0; i < n; ++i) {
      const double v = x[i * m + j];
      if (!wzmis(v)) a[nNonMiss++] = v;
    }
    if (nNonMiss == 0)
      res[j] = missing_value();
    else if (nNonMiss == 1)
      res[j] = 0.0;
    else
      res[j] = scale_of(iopt, nNonMiss, a, w, iw);
  }
  return 0;
}

}  // namespace robmat
