// Shared front-end pieces; see common.h.
#include "frontends/common.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {

CallFrame::~CallFrame() noexcept(false) {
  if (std::uncaught_exceptions() > unwinding_) {
    // The result memory is the host's and outlives the unwinding; writing it asks nothing.
    for (int k = 0; k < kMaxResults; ++k) fill_missing(results_[k], result_len_[k]);
    return;
  }
  if (str_ != nullptr) {
    const int32_t rc = manager_release(&str_->rpx);
    if (rc < 0) xprrlog(nullptr, rc);
  }
  for (int b = nblocks_ - 1; b >= 0; --b) duwfre2(&blocks_[b]);
}

int32_t CallFrame::open_manager() {
  const int32_t rc = manager_create(&str_->rpx);
  if (rc < 0) xexit(rc, 0);
  if (str_->rpx == nullptr) {
    xprrlog(nullptr, rc);
    return kStatusNoManager;
  }
  return 0;
}

void CallFrame::keep_result(int k, double* v, long n) {
  assert(k >= 0 && k < kMaxResults);
  results_[k] = v;
  result_len_[k] = n;
}

void* CallFrame::raw_block(int64_t bytes) {
  assert(nblocks_ < kMaxBlocks && "a front end asks for more blocks than a frame holds");
  if (failed_ || nblocks_ == kMaxBlocks) return nullptr;
  void* b = duwalo2(&blocks_[nblocks_], bytes);
  if (b == nullptr) {
    failed_ = true;
    return nullptr;
  }
  ++nblocks_;
  return b;
}

bool create_results(CallFrame* frame, const ResultShape* shapes, int count, double** res) {
  if (frame->failed()) return false;
  for (int k = 0; k < count; ++k) {
    if (duwres(k + 1, shapes[k].rows, shapes[k].cols) == nullptr) return false;
    // Missing until the routine computes them, also when a later request is refused.
    fill_missing(duwresp(k + 1), static_cast<long>(shapes[k].rows) * shapes[k].cols);
  }
  for (int k = 0; k < count; ++k) {
    res[k] = duwresp(k + 1);
    frame->keep_result(k, res[k], static_cast<long>(shapes[k].rows) * shapes[k].cols);
  }
  return true;
}

void fetch_arguments(DULSYM** arg, int32_t to_n, Arg* args, int count) {
  for (int i = 0; i < count; ++i) {
    Arg& a = args[i];
    a = Arg{};
    if (i >= to_n || arg[i] == nullptr) continue;
    a.given = true;
    a.numeric = arg[i]->type == 'n';
    void* addr = nullptr;
    duwarg2(arg[i], &a.rows, &a.cols, &a.elen, &addr);
    a.addr = addr;
  }
}

namespace {

bool passes(const ArgRule& r, DULSYM** arg, const Arg* args) {
  const Arg& a = args[r.arg];
  switch (r.check) {
    case kArgOptional:
      return true;
    case kArgNumeric:
      return a.numeric;
    case kArgVector:
      return a.is_vector();
    case kArgColumn:
      return a.cols == 1;
    case kArgNonEmpty:
      return a.rows >= 1 && a.cols >= 1;
    case kArgNoMissing:
      return dulmiss(arg[r.arg]) == 0;
    case kArgRowsOf:
      return a.rows == args[r.ref].rows;
    case kArgPoints:
      return a.is_vector() && a.length() == static_cast<long>(args[r.ref].cols) + 1;
    case kArgKeyword:
      if (a.rows == 1) return a.cols == 1 && !a.numeric && a.elen >= 1 && a.elen <= 8;
      return a.rows == 0 && a.cols == 0;
  }
  return false;
}

}  // namespace

int32_t check_arguments(const ArgRule* rules, int nrules, DULSYM** arg, const Arg* args) {
  unsigned skipped = 0;  // one bit per optional argument that was not given
  for (int k = 0; k < nrules; ++k) {
    const ArgRule& r = rules[k];
    const unsigned bit = 1u << r.arg;
    if ((skipped & bit) != 0) continue;
    if (r.check == kArgOptional) {
      if (!args[r.arg].given) skipped |= bit;
      continue;
    }
    if (!passes(r, arg, args)) return r.status;
  }
  return 0;
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

double root_or_zero(double v) { return v > 0.0 ? std::sqrt(v) : 0.0; }

void expand_packed(long p, const double* packed, double* full) {
  for (long i = 0; i < p; ++i)
    for (long j = 0; j <= i; ++j) full[i * p + j] = full[j * p + i] = packed[i * (i + 1) / 2 + j];
}

}  // namespace robmat
