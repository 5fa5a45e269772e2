// MCD: robust location and scatter by the minimum covariance determinant. The front end
// checks the arguments, carves the engine's work space and the three results, runs zmcd
// and turns the descriptor into the summary, the estimates and the distances.
#include "mcd/mcd.h"

#include <cstring>

#include "frontends/common.h"
#include "frontends/frontends.h"
#include "frontends/options.h"
#include "kernels/fast_search.h"
#include "robmat/arena.h"
#include "robmat/services.h"

namespace robmat {

namespace {

// The three results from the descriptor after a successful run: the summary, distances as
// roots (a missing one stays missing in both rows), and the scatter (and correlations)
// expanded from their packed triangles.
void store_results(const LMTSTR& str, double* summary, double* est, double* dist) {
  const long n = str.ncas;
  const long p = str.nvar;
  const long nn = str.nnva;
  const double m[7] = {static_cast<double>(str.jqu),
                       static_cast<double>(str.jlp),
                       static_cast<double>(str.jlp - str.jerd),
                       static_cast<double>(n - str.nzwe),
                       str.volm,
                       str.dism,
                       str.cutof};
  std::memcpy(summary, m, sizeof m);
  // Both rows are distances, never squared ones: after an exact fit the robust distance does
  // not exist, and the classical one beside it is still its root.
  for (long i = 0; i < n; ++i) {
    double& dc = dist[i];
    double& dr = dist[n + i];
    if (!wzmis(dc)) dc = root_or_zero(dc);
    if (!wzmis(dr)) dr = root_or_zero(dr);
  }
  if (str.ocor) {
    // The engine leaves the packed correlations right after the first N entries of row 3,
    // which the expanded scatter overwrites next: move them out first.
    std::memcpy(str.c + nn, est + 2 * p + nn, sizeof(double) * static_cast<size_t>(nn));
    expand_packed(p, str.c + nn, est + (p + 2) * p);
  }
  expand_packed(p, str.c, est + 2 * p);
}

}  // namespace

int32_t duxmcd(DULSYM** arg, int32_t* to_n) {
  LMTSTR str;
  std::memset(&str, 0, sizeof str);
  CallFrame frame(&str);
  if (int32_t rc = frame.open_manager(); rc != 0) return rc;

  Arg args[3];
  fetch_arguments(arg, *to_n, args, 3);
  if (int32_t rc = check_arguments(kScatterArgs, arg, args); rc != 0) return rc;
  const Arg& opt = args[0];
  const Arg& x = args[1];
  const Arg& start = args[2];
  const long n = x.rows, p = x.cols;
  // The shape first: wide or empty data would ask for work space beyond any machine (or copy
  // from no data) before the engine could say that it needs more observations than variables.
  if (mcd_check_problem(n, p) != 0) return kStatusShape;
  read_mcd_options(&str, opt.x(), opt.length(), start.given);
  if (int32_t rc = check_subdataset_options(str); rc != 0) return rc;
  str.nvar = static_cast<int>(p);
  str.ncas = n;
  str.nnva = p * (p + 1) / 2;
  str.inca = p;
  const McdSizes sz =
      mcd_sizes(n, p, str.nsds, str.lsds, str.ocor, (str.imve & kImveDeterministic) != 0 ? 1 : 0);
  str.dneed = sz.work;
  str.lneed = sz.ints;

  Arena<double> data{frame.block<double>(sz.data), sz.data};
  str.c = frame.block<double>(sz.c);
  str.work = frame.block<double>(sz.work);
  Arena<long> ints{frame.block<long>(sz.ints), sz.ints};
  str.pnam = frame.block<U_SNAME>(sz.names);
  // The subdatasets' starts on the host's worker threads, when it has more than one CPU: their
  // work space is asked for only then, so a serial call makes the requests it always made.
  FastLaneSpace lanes{};
  if (p > 1 && (str.imve & kImveDeterministic) == 0)
    lanes.threads = fast_threads(n, str.nrep, str.nsds, str.lsds);
  if (lanes.threads > 1) {
    lanes.doubles = mcd_lane_doubles(n, p, str.nsds, str.lsds, lanes.threads);
    lanes.block = frame.block<double>(lanes.doubles);
    str.secstr = &lanes;
  }
  const ResultShape shapes[3] = {{7, 1}, {sz.est_rows, x.cols}, {3, x.rows}};
  double* res[3];
  if (!create_results(&frame, shapes, 3, res)) return kStatusNoSpace;
  double* summary = res[0];
  double* est = res[1];
  double* dist = res[2];

  str.a = data.take(n * p);
  str.b = data.take(n * p);
  std::memcpy(str.a, x.x(), sizeof(double) * static_cast<size_t>(n * p));
  str.jsub = ints.take(n);
  str.jbst = ints.take(n);
  str.iw = ints.take(ints.left());
  str.xmve = est;
  str.maha = dist;
  make_names(str.pnam, p, "Addition");

  if (start.given) {
    if (int32_t rc = read_start_subset(str.jbst, start.x(), start.length(), n); rc != 0) return rc;
  }
  const int rc = zmcd(&str);
  fill_missing(summary, 7);
  if (rc < 0) {
    fill_missing(est, sz.est_rows * p);
    fill_missing(dist, 3 * n);
  } else {
    store_results(str, summary, est, dist);
  }
  return 0;
}

}  // namespace robmat
