// Shared front-end pieces; see common.h.
#include "frontends/common.h"

#include <cstring>

#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {

int32_t create_manager(LMTSTR* str) {
  const int32_t rc = manager_create(&str->rpx);
  if (rc < 0) xexit(rc, 0);
  if (str->rpx == nullptr) {
    xprrlog(nullptr, rc);
    return kStatusNoManager;
  }
  return 0;
}

void release_manager(LMTSTR* str) {
  const int32_t rc = manager_release(&str->rpx);
  if (rc < 0) xprrlog(nullptr, rc);
}

void make_names(U_SNAME* pnam, long p, const char* last) {
  for (long k = 0; k < p; ++k) {
    char buf[32];
    znamfix(1, "VAR", 3, k + 1, 0, buf, 32);
    int len = 32;
    while (len > 0 && (buf[len - 1] == ' ' || buf[len - 1] == '\0')) --len;
    std::memset(pnam[k].name, ' ', sizeof pnam[k].name);
    std::memcpy(pnam[k].name, buf, static_cast<size_t>(len));
    pnam[k].len = static_cast<int16_t>(len);
  }
  size_t n = std::strlen(last);
  std::memset(pnam[p].name, ' ', sizeof pnam[p].name);
  std::memcpy(pnam[p].name, last, n);
  pnam[p].len = static_cast<int16_t>(n);
}

void fill_missing(double* v, long n) {
  const double m = missing_value();
  for (long i = 0; i < n; ++i) v[i] = m;
}

void expand_packed(long p, const double* packed, double* full) {
  for (long i = 0; i < p; ++i)
    for (long j = 0; j <= i; ++j) full[i * p + j] = full[j * p + i] = packed[i * (i + 1) / 2 + j];
}

NumArg fetch(DULSYM* arg) {
  NumArg a;
  if (arg == nullptr) return a;
  a.given = true;
  a.numeric = arg->type == 'n';
  int64_t elen = 0;
  void* addr = nullptr;
  duwarg2(arg, &a.rows, &a.cols, &elen, &addr);
  a.x = a.numeric ? static_cast<const double*>(addr) : nullptr;
  return a;
}

}  // namespace robmat
