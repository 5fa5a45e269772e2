// Sweep operator: the greedy range sweep, the parallel sweep step and its control block.
// The parallel step computes u and v itself and leaves only the rank-one update to the
// workers, so it gives the same numbers as the host's serial step, operation for operation.
#include "kernels/sweep.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "kernels/machine.h"
#include "robmat/services.h"

namespace robmat {
namespace {

// A later pivot must beat the current choice by more than this to replace it, so that
// near-ties keep the first pivot and the result does not hinge on the last bits.
constexpr double kScoreMargin = 1.053671212772351e-08;
constexpr int kDefaultCutoff = 250;
constexpr int kThreadMinOrder = 251;

inline long tri(long i) { return i * (i + 1) / 2; }

// The host offers memory pools but no release of a single block, and SweepControl has no
// field for a pool handle: each block gets a pool of its own, whose handle is kept just in
// front of the block (16 bytes, so the block keeps the pool's alignment).
constexpr long kBlockHeader = 16;

void* block_alloc(long bytes) {
  void* pool = xmpoolc(bytes + kBlockHeader);
  if (pool == nullptr) return nullptr;
  char* p = static_cast<char*>(xmpalloc(pool, bytes + kBlockHeader));
  if (p == nullptr) {
    xmpoold(pool);
    return nullptr;
  }
  std::memcpy(p, &pool, sizeof pool);
  return p + kBlockHeader;
}

void block_free(void* block) {
  if (block == nullptr) return;
  void* pool;
  std::memcpy(&pool, static_cast<char*>(block) - kBlockHeader, sizeof pool);
  xmpoold(pool);
}

[[noreturn]] void pool_unusable(const char* what) {
  xebug("%s", what);
  xexit(kExitPool, 0);
}

}  // namespace

int zsweepr(double* x,
            int k0,
            int kn,
            int n,
            char* df,
            double* diag,
            double* work,
            double epsilon,
            double* logdet,
            tchar* options,
            SweepControlPtr control,
            int numThreads) {
  bool zero_unswept = false, fill_diag = false, flush_tiny = false, reset_df = false;
  for (const tchar* o = options; o != nullptr && *o != '\0'; ++o) {
    zero_unswept |= *o == 'z';
    fill_diag |= *o == 'd';
    flush_tiny |= *o == 'f';
    reset_df |= *o == '0';
  }
  if (reset_df) std::memset(df, '0', static_cast<size_t>(n));
  if (fill_diag && diag != nullptr) {
    for (long j = 0; j < n; ++j) {
      double v = x[tri(j) + j];
      diag[j] = (flush_tiny && std::fabs(v) <= kHalfEps) ? 0.0 : v;
    }
  }
  if (k0 > kn) return 0;
  assert(k0 >= 0 && kn < n);

  SweepControl* own = nullptr;
  if (control == nullptr && n >= kThreadMinOrder) {
    long threads = numThreads;
    if (numThreads < 0) {
      int64_t cpus = 1;
      threads = xcfgint("host.cpucount", &cpus) == 0 ? static_cast<long>(cpus) : 1;
    }
    if (threads >= 2) {
      // Without memory for the block the sweep is still correct, only serial.
      own = static_cast<SweepControl*>(block_alloc(sizeof(SweepControl)));
      if (own != nullptr) {
        zpsweepi(threads > 1024 ? 1024 : static_cast<int>(threads), n, 0, 0, own);
        control = own;
      }
    }
  }

  const double threshold = std::fabs(epsilon);
  const bool absolute = epsilon < 0.0;
  const double tol = absolute ? -kDblMin : (epsilon < kDblMin ? epsilon : kDblMin);
  if (logdet != nullptr) *logdet = 0.0;

  int count = 0;
  for (long step = 0; step <= static_cast<long>(kn) - k0; ++step) {
    int best = -1;
    double best_score = 0.0;
    for (int j = k0; j <= kn; ++j) {
      if (df[j] != '0' || (diag != nullptr && diag[j] == 0.0)) continue;
      double score = x[tri(j) + j];
      if (diag != nullptr) score /= std::fabs(diag[j]);
      if (absolute) score = std::fabs(score);
      if (best < 0 || score - best_score > kScoreMargin) {
        best = j;
        best_score = score;
      }
    }
    if (best < 0 || best_score <= threshold) break;
    ++count;
    if (logdet != nullptr) *logdet += std::log(x[tri(best) + best]);
    if (control != nullptr) {
      zpsweep(x, best, df, tol, control);
    } else {
      zsweep(x, best, n, df, work, tol);
    }
  }

  if (zero_unswept) {
    for (long j = k0; j <= kn; ++j) {
      if (df[j] != '0') continue;
      std::memset(x + tri(j), 0, static_cast<size_t>(j + 1) * sizeof(double));
      for (long i = j + 1; i < n; ++i) x[tri(i) + j] = 0.0;
    }
  }
  if (own != nullptr) {
    zpsweept(own);
    block_free(own);
  }
  return count;
}

int zpsweepi(int numThreads, int numRows, int cutoff, char forceFlag, SweepControl* control) {
  control->puddleControl.extHandle = nullptr;
  control->puddleControl.puddle = nullptr;
  control->numThreads = numThreads;
  control->numRows = numRows;
  control->parms = nullptr;
  control->work = nullptr;
  control->time = 0.0;
  if (cutoff == 0) cutoff = kDefaultCutoff;

  if ((numThreads < 2 || numRows < cutoff) && !forceFlag) {
    control->noThreadsFlag = 1;
    control->work =
        static_cast<double*>(block_alloc(static_cast<long>(numRows) * static_cast<long>(sizeof(double))));
    if (control->work == nullptr) pool_unusable("zpsweepi: no memory for the sweep work vector");
    return 0;
  }

  const int threads = numThreads > 0 ? numThreads : 1;
  control->noThreadsFlag = 0;
  control->numThreads = threads;
  control->parms = static_cast<SweepParms*>(
      block_alloc(static_cast<long>(threads) * static_cast<long>(sizeof(SweepParms))));
  control->work = static_cast<double*>(block_alloc(2L * numRows * static_cast<long>(sizeof(double))));
  if (control->parms == nullptr || control->work == nullptr) {
    block_free(control->parms);
    block_free(control->work);
    control->parms = nullptr;
    control->work = nullptr;
    pool_unusable("zpsweepi: no memory for the sweep control block");
  }

  // Row i of the triangle holds i+1 elements, so rows 0..r-1 hold about r^2/2: boundaries at
  // sqrt(i)*w give every block the same share of the update.
  const double w = std::floor(std::sqrt(1.0 / threads) * numRows);
  for (int i = 0; i < threads; ++i) {
    SweepParms& p = control->parms[i];
    p.start = (i == 0) ? 0 : static_cast<int>(std::floor(std::sqrt(static_cast<double>(i)) * w));
    p.end = (i == threads - 1) ? numRows
                               : static_cast<int>(std::floor(std::sqrt(static_cast<double>(i + 1)) * w));
    p.numRows = numRows;
    p.k = 0;
    p.x = nullptr;
    p.a = control->work;
    p.b = control->work + numRows;
  }
  zpudi(&control->puddleControl, threads, 1, sweepcb);
  return 0;
}

void zpsweep(double* x, int k, char* df, double sing, SweepControl* control) {
  const long n = control->numRows;
  if (control->noThreadsFlag) {
    zsweep(x, k, static_cast<int32_t>(n), df, control->work, sing);
    return;
  }
  if (k < 0 || k >= n) {
    xebug("sweep: invalid k: %i", k);
    abort_run();
  }
  const long kk = k;
  double* xk = x + tri(kk);  // row k
  const double d = xk[kk];
  if (sing >= 0.0 ? d <= sing : std::fabs(d) <= std::fabs(sing)) return;

  xk[kk] = 1.0 / d;
  const char s = df[kk];
  df[kk] = (s == '0') ? '1' : '0';

  double* u = control->work;
  double* v = control->work + n;
  for (long j = 0; j < kk; ++j) {
    v[j] = xk[j];
    const double t = xk[j] / d;
    u[j] = (df[j] == s) ? t : -t;
    xk[j] = -t;
  }
  for (long j = kk + 1; j < n; ++j) {
    double& xjk = x[tri(j) + kk];
    v[j] = (df[j] == s) ? xjk : -xjk;
    xjk = xjk / d;
    u[j] = xjk;
  }
  u[kk] = 0.0;
  v[kk] = 0.0;

  const double started = zdattim();
  for (int i = 0; i < control->numThreads; ++i) {
    SweepParms& p = control->parms[i];
    p.k = k;
    p.x = x;
    p.a = u;
    p.b = v;
    zpudenq(&control->puddleControl, &p);
  }
  zpudwt(&control->puddleControl);
  control->time += zdattim() - started;
}

void zpsweept(SweepControl* control) {
  if (!control->noThreadsFlag) {
    zpudt(&control->puddleControl);
    block_free(control->parms);
    control->parms = nullptr;
  }
  block_free(control->work);
  control->work = nullptr;
}

void sweepcb(RZMemPtr, RZGenerich request, RZThreadh, TPDLCallBacksp) {
  sweepBlock(static_cast<SweepParms*>(request));
}

void sweepBlock(SweepParms* parms) {
  const long k = parms->k;
  const double* u = parms->a;
  const double* v = parms->b;
  for (long i = parms->start; i < parms->end; ++i) {
    if (i == k) continue;
    const double ui = u[i];
    double* row = parms->x + tri(i);
    for (long j = 0; j <= i; ++j) row[j] = row[j] - ui * v[j];
  }
}

}  // namespace robmat
