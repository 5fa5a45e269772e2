// A run descriptor for the regression engine carved as the front end carves it (through
// lmts_sizes and lmts_carve_search), on data taken as given (location 0, scale 1: the
// elemental fits are equivariant, so raw data serve), with canaries after every block, and
// the data sets the tests share.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

#include "kernels/machine.h"
#include "regression/regression.h"
#include "robmat/services.h"
#include "support/datasets.h"
#include "support/recording_host.h"

namespace robmat::testing {

constexpr double kCanary = -1.2345e-301;

struct LmtsRun {
  LMTSTR s{};
  std::vector<double> dbl, coef, wgts, sres, uhyb, dwim;
  std::vector<long> lng, lwim;
  std::vector<U_SNAME> names;
  Recording* rec;
  int rpx = 0;

  // x: n rows of k regressors (row-major); an intercept adds a column of ones, last.
  LmtsRun(const std::vector<double>& x,
          const std::vector<double>& y,
          int k,
          bool intercept,
          int ilts = 0,
          int ilsq = 0)
      : rec(&install_recording_host()) {
    const long n = static_cast<long>(y.size());
    const int p = k + (intercept ? 1 : 0);
    s.ilts = ilts;
    s.ilsq = ilsq;
    s.nvar = p;
    s.ncas = n;
    s.nnva = p * (p + 1L) / 2;
    s.noint = intercept ? 0 : 1;
    s.sing = 1e-10;
    s.prec = kPrecDefault;
    s.ztst = 2.5;
    s.bmad = 1.0;
    const LmtsSizes z = lmts_sizes(n, p, ilsq, 0, 5, 300, 0);
    dbl.assign(static_cast<size_t>(z.doubles + 8), kCanary);
    lng.assign(static_cast<size_t>(z.longs + 8), -777);
    lmts_carve_search(&s, {dbl.data(), z.doubles}, {lng.data(), z.longs});
    for (long i = 0; i < n; ++i) {
      for (int j = 0; j < k; ++j) s.a[i * p + j] = x[i * k + j];
      if (intercept) s.a[i * p + k] = 1.0;
      s.b[i] = y[i];
    }
    std::fill(s.amad, s.amad + p, 1.0);
    std::fill(s.amed, s.amed + p, 0.0);
    coef.assign(p, 0.0);
    wgts.assign(n, 1.0);
    sres.assign(n, 0.0);
    uhyb.assign(n, 0.0);
    dwim.assign(10, 0.0);
    lwim.assign(10 * (p + 1), 0);
    names.resize(p + 1);
    s.coef = coef.data();
    s.wgts = wgts.data();
    s.sres = sres.data();
    s.uhyb = uhyb.data();
    s.dwim = dwim.data();
    s.lwim = lwim.data();
    s.pnam = names.data();
    s.rpx = &rpx;
    if (ilsq != 0) {  // result rows in the front end; here separate vectors
      extra.assign(static_cast<size_t>(2 * p + n), 0.0);
      s.x = extra.data();
      s.ster = extra.data() + p;
      s.qres = extra.data() + 2 * p;
    }
    set_h(0);
  }
  LmtsRun(const LmtsRun&) = delete;

  // h (0: (n+p+1)/2) and the consistency factor that goes with it.
  void set_h(long h) {
    s.jqu = h > 0 ? h : (s.ncas + s.nvar + 1) / 2;
    lmts_consistency(&s);
  }

  bool intact() const {
    return std::all_of(dbl.end() - 8, dbl.end(), [](double d) { return d == kCanary; }) &&
           std::all_of(lng.end() - 8, lng.end(), [](long v) { return v == -777; });
  }

  std::vector<long> best() const { return std::vector<long>(s.jbst, s.jbst + s.nvar); }

 private:
  std::vector<double> extra;
};

// Brownlee's stack loss from data/: Air.Flow, Water.Temp, Acid.Conc. (n x 3) and stack.loss.
inline const std::vector<double>& stack_x() {
  static const std::vector<double> x = load_dataset("stackloss").columns(0, 3);
  return x;
}
inline const std::vector<double>& stack_y() {
  static const std::vector<double> y = load_dataset("stackloss").columns(3, 4);
  return y;
}

}  // namespace robmat::testing
