// MAD: one robust scale per column of a matrix, over the column's non-missing values. The
// method keyword is matched by prefix after upper-casing, so "qn", "Qn" and "QNX" agree.
#include <cstring>

#include "frontends/common.h"
#include "frontends/frontends.h"
#include "robmat/services.h"
#include "scale/scale.h"

namespace robmat {

namespace {

enum MadMethod { kRawMad = 0, kNormalizedMad = 1, kSn = 2, kQn = 3 };

int match_method(const char* sopt) {
  if (std::memcmp(sopt, "MAD", 3) == 0) return kRawMad;
  if (std::memcmp(sopt, "NMA", 3) == 0) return kNormalizedMad;
  if (std::memcmp(sopt, "SN", 2) == 0) return kSn;
  if (std::memcmp(sopt, "QN", 2) == 0) return kQn;
  return -1;
}

}  // namespace

int32_t duxmad(DULSYM** arg, int32_t* to_n) {
  if (arg[0] == nullptr || arg[0]->type != 'n') return kStatusNotNumeric;
  int32_t n = 0, m = 0;
  int64_t elen = 0;
  void* xaddr = nullptr;
  duwarg2(arg[0], &n, &m, &elen, &xaddr);
  if (n < 1 || m < 1) return kStatusShape;
  const double* x = static_cast<const double*>(xaddr);

  int iopt = kRawMad;
  if (*to_n >= 2 && arg[1] != nullptr) {
    int32_t kr = 0, kc = 0;
    int64_t klen = 0;
    void* kaddr = nullptr;
    duwarg2(arg[1], &kr, &kc, &klen, &kaddr);
    if (kr == 1) {
      if (kc != 1 || arg[1]->type != 'c' || klen < 1 || klen > 8) return kStatusKeyword;
      char sopt[9];  // 8 characters padded with blanks, and a terminator for the note
      std::memset(sopt, ' ', 8);
      sopt[8] = '\0';
      std::memcpy(sopt, kaddr, static_cast<size_t>(klen));
      wzstrup(sopt, 8);
      iopt = match_method(sopt);
      if (iopt < 0) {
        xpslog("%3zThe second argument %8s %s %s %s",
               sopt,
               "of the MAD function does not specify any of the",
               "valid options. The common MAD (median absolute",
               "deviation) is computed.");
        iopt = kRawMad;
      }
    } else if (kr != 0 || kc != 0) {
      return kStatusKeyword;
    }
  }

  // a: the column's values; w: the estimator's work (2n for Qn); iw: Qn's 6n integers.
  int64_t bytes = iopt == kQn ? 72 * static_cast<int64_t>(n) : 16 * static_cast<int64_t>(n);
  void* block = nullptr;
  if (duwalo2(&block, bytes) == nullptr) return kStatusNoSpace;
  double* a = static_cast<double*>(block);
  double* w = a + n;
  long* iw = iopt == kQn ? reinterpret_cast<long*>(w + 2 * static_cast<int64_t>(n)) : nullptr;

  if (duwres(1, 1, m) == nullptr) {
    duwfre2(&block);
    return kStatusNoSpace;
  }
  double* res = duwresp(1);

  for (int32_t j = 0; j < m; ++j) {
    long nNonMiss = 0;
    for (int32_t i = 0; i < n; ++i) {
      double v = x[static_cast<int64_t>(i) * m + j];
      if (!wzmis(v)) a[nNonMiss++] = v;
    }
    if (nNonMiss == 0) {
      res[j] = missing_value();
    } else if (nNonMiss == 1) {
      res[j] = 0.0;
    } else {
      switch (iopt) {
        case kRawMad:
          res[j] = zmad(0, nNonMiss, a);
          break;
        case kNormalizedMad:
          res[j] = zmad(1, nNonMiss, a);
          break;
        case kSn:
          res[j] = zs_n(nNonMiss, a, w);
          break;
        default:
          res[j] = zq_n(nNonMiss, a, w, iw);
          break;
      }
    }
  }
  duwfre2(&block);
  return 0;
}

}  // namespace robmat
