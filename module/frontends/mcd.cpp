// MCD: robust location and scatter by the minimum covariance determinant. The front end
// checks the arguments, carves the engine's work space and the three results, runs zmcd
// and turns the descriptor into the summary, the estimates and the distances.
#include "mcd/mcd.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "frontends/common.h"
#include "frontends/frontends.h"
#include "frontends/options.h"
#include "robmat/services.h"

namespace robmat {

namespace {

// Argument checks in the routine's order; 0 when all pass.
int32_t check_mcd_args(const NumArg& opt, const NumArg& x, const NumArg& start, DULSYM* xarg, DULSYM* sarg) {
  if (!opt.numeric) return kStatusNotNumeric;
  if (!opt.is_vector()) return kStatusShape;
  if (!x.numeric) return kStatusNotNumeric;
  if (dulmiss(xarg)) return kStatusMissing;
  if (start.given) {
    if (!start.numeric) return kStatusNotNumeric;
    if (dulmiss(sarg)) return kStatusMissing;
    if (!start.is_vector() || start.length() != static_cast<long>(x.cols) + 1) return kStatusShape;
  }
  return 0;
}

// The work-space blocks of one call; freed together on every path.
struct McdBlocks {
  void* data = nullptr;
  void* c = nullptr;
  void* work = nullptr;
  void* ints = nullptr;
  void* names = nullptr;
  void free_all() {
    for (void** b : {&data, &c, &work, &ints, &names})
      if (*b) duwfre2(b);
  }
};

double root_or_zero(double v) { return v > 0.0 ? std::sqrt(v) : 0.0; }

}  // namespace

int32_t duxmcd(DULSYM** arg, int32_t* to_n) {
  LMTSTR str;
  std::memset(&str, 0, sizeof str);
  if (int32_t rc = create_manager(&str); rc != 0) return rc;

  DULSYM* sarg = *to_n >= 3 ? arg[2] : nullptr;
  NumArg opt = fetch(arg[0]), x = fetch(arg[1]), start = fetch(sarg);
  if (int32_t rc = check_mcd_args(opt, x, start, arg[1], sarg); rc != 0) {
    release_manager(&str);
    return rc;
  }
  const long n = x.rows, p = x.cols;
  read_mcd_options(&str, opt.x, opt.length(), start.given);
  str.nvar = static_cast<int>(p);
  str.ncas = n;
  str.nnva = p * (p + 1) / 2;
  str.inca = p;
  const long N = str.nnva, k = str.nsds;
  str.dneed = p * p + 10 * p + 20 * k + 2 * n;
  str.lneed = 11 * k + 5 * n + 2 * static_cast<long>(str.lsds) * (k + 1);

  McdBlocks blk;
  const long rows2 = str.ocor ? 2 * p + 2 : p + 2;
  bool ok = duwalo2(&blk.data, 16 * n * p) &&
            duwalo2(&blk.c, 8 * (10 * p + 10 * k * p + (10 * k + 12) * N)) &&
            duwalo2(&blk.work, 8 * str.dneed) && duwalo2(&blk.ints, 8 * str.lneed) &&
            duwalo2(&blk.names, 34 * (p + 1)) && duwres(1, 7, 1) &&
            duwres(2, static_cast<int32_t>(rows2), x.cols) && duwres(3, 3, x.rows);
  if (!ok) {
    blk.free_all();
    release_manager(&str);
    return kStatusNoSpace;
  }
  double* summary = duwresp(1);
  double* est = duwresp(2);
  double* dist = duwresp(3);

  str.a = static_cast<double*>(blk.data);
  str.b = str.a + n * p;
  std::memcpy(str.a, x.x, sizeof(double) * static_cast<size_t>(n * p));
  str.c = static_cast<double*>(blk.c);
  str.work = static_cast<double*>(blk.work);
  str.jsub = static_cast<long*>(blk.ints);
  str.jbst = str.jsub + n;
  str.iw = str.jsub + 2 * n;
  str.pnam = static_cast<U_SNAME*>(blk.names);
  str.xmve = est;
  str.maha = dist;
  fill_missing(summary, 7);
  fill_missing(est, 2 * p);
  fill_missing(dist, 3 * n);
  make_names(str.pnam, p, "Addition");

  int32_t status = 0;
  if (start.given) status = read_start_subset(str.jbst, start.x, start.length(), n);
  if (status == 0) {
    int rc = zmcd(&str);
    fill_missing(summary, 7);
    if (rc < 0) {
      fill_missing(est, rows2 * p);
      fill_missing(dist, 3 * n);
    } else {
      const double m[7] = {static_cast<double>(str.jqu),
                           static_cast<double>(str.jlp),
                           static_cast<double>(str.jlp - str.jerd),
                           static_cast<double>(n - str.nzwe),
                           str.volm,
                           str.dism,
                           str.cutof};
      std::memcpy(summary, m, sizeof m);
      for (long i = 0; i < n; ++i) {
        double& dc = dist[i];
        double& dr = dist[n + i];
        if (wzmis(dc) || wzmis(dr)) continue;
        dc = root_or_zero(dc);
        dr = root_or_zero(dr);
      }
      if (str.ocor) {
        // The engine leaves the packed correlations right after the first N entries of
        // row 3, which the expanded scatter overwrites next: move them out first.
        std::memcpy(str.c + N, est + 2 * p + N, sizeof(double) * static_cast<size_t>(N));
        expand_packed(p, str.c + N, est + (p + 2) * p);
      }
      expand_packed(p, str.c, est + 2 * p);
    }
  }
  release_manager(&str);
  blk.free_all();
  return status;
}

}  // namespace robmat
