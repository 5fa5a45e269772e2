// Option readers of the call routines. Each family is a table of integer options (range,
// default, message) plus the few rules that tie options together (intercept, cofo/flts/seed,
// ocor), so the tables say what the user sees and the code below them stays short.
#include "frontends/options.h"

#include <climits>
#include <cmath>
#include <cstddef>

#include "kernels/machine.h"
#include "robmat/services.h"

namespace robmat {
namespace {

constexpr long kTwoPow53 = 9007199254740992L;  // largest count a double holds exactly
constexpr int kNoMessage = 0;

// Messages of the option readers (set 549): an option out of range (by position in the
// vector; opt 2 and 3 share one text between the routine families), and the start subset.
enum OptionMessage : int {
  kMsgOpt1Range = 900,
  kMsgOpt2Range = 901,
  kMsgOpt3Range = 902,
  kMsgOpt7Range = 903,
  kMsgOpt8Range = 904,
  kMsgStartElement = 906,  // the 1-based position of the element (long)
  kMsgFastLtsNrep = 907,
  kMsgOpt22Range = 908,  // the exchange variant, robmat's own option position
  kMsgOpt23Range = 909,  // the converged final stage, robmat's own too
  kMsgOpt24Range = 910,  // MCD's deterministic starts, robmat's own option position
  kMsgOpt24Ignores = 911,
};

// An integer field: out of [lo, hi] after truncation gives message `msg` (if any) and dflt.
struct IntOption {
  int k;
  int LMTSTR::*field;
  int dflt;
  int lo;
  int hi;
  int msg;
};

// Opt 22 goes beyond the positions the routines have always had: it asks for the pairwise
// exchange refinement of the box of best subsets (variant 1-3), which is otherwise off.
constexpr IntOption kLmtsInts[] = {
    {2, &LMTSTR::ipri, 0, 0, 5, kMsgOpt2Range},
    {3, &LMTSTR::ilsq, 0, 0, 3, kMsgOpt3Range},
    {14, &LMTSTR::pcor, 0, INT_MIN, INT_MAX, kNoMessage},
    {16, &LMTSTR::nsds, 5, INT_MIN, INT_MAX, kNoMessage},
    {17, &LMTSTR::lsds, 300, INT_MIN, INT_MAX, kNoMessage},
    {22, &LMTSTR::doim, 0, 0, 3, kMsgOpt22Range},
};

constexpr IntOption kMveInts[] = {
    {1, &LMTSTR::ipri, 0, 0, 5, kMsgOpt1Range},
    {2, &LMTSTR::pcov, 0, 0, 1, kMsgOpt2Range},
    {3, &LMTSTR::pcor, 0, 0, 3, kMsgOpt3Range},
    {22, &LMTSTR::doim, 0, 0, 3, kMsgOpt22Range},
};

constexpr IntOption kMcdInts[] = {
    {1, &LMTSTR::ipri, 0, 0, 5, kMsgOpt1Range},
    {2, &LMTSTR::pcov, 0, 0, 1, kMsgOpt2Range},
    {3, &LMTSTR::pcor, 0, 0, 3, kMsgOpt3Range},
    {16, &LMTSTR::nsds, 5, INT_MIN, INT_MAX, kNoMessage},
    {17, &LMTSTR::lsds, 300, INT_MIN, INT_MAX, kNoMessage},
};

// Robmat's own switches beyond the positions the routines have always had, each a bit of
// imve: opt 23 lets the final stage of FAST-MCD and FAST-LTS run its C-steps to a fixed point
// from more kept solutions instead of its fixed budget; opt 24 replaces MCD's random starts
// by the six deterministic ones. 0 or 1; another value logs msg and leaves the bit clear.
void read_imve_bit(LMTSTR* d, const double* opt, long nopt, int k, int bit, int msg) {
  const long t = option_integer(option_value(opt, nopt, k, 0.0), -1, 2);
  if (t < 0 || t > 1) {
    xpmlog(kSetModule, msg);
  } else if (t == 1) {
    d->imve |= bit;
  }
}

template <std::size_t N>
void read_ints(LMTSTR* d, const double* opt, long nopt, const IntOption (&table)[N]) {
  for (const IntOption& o : table) {
    const double v = option_value(opt, nopt, o.k, o.dflt);
    // Saturating one step beyond the range keeps a huge value out of range instead of
    // wrapping it into range.
    const long t = option_integer(v, static_cast<long>(o.lo) - 1, static_cast<long>(o.hi) + 1);
    if (t < o.lo || t > o.hi) {
      if (o.msg != kNoMessage) xpmlog(kSetModule, o.msg);
      d->*o.field = o.dflt;
    } else {
      d->*o.field = static_cast<int>(t);
    }
  }
}

int read_switch(const double* opt, long nopt, int k) {
  return option_integer(option_value(opt, nopt, k, 0.0), -1, 1) != 0 ? 1 : 0;
}

int read_positive_switch(const double* opt, long nopt, int k) {
  return option_integer(option_value(opt, nopt, k, 0.0), -1, 1) > 0 ? 1 : 0;
}

long read_long(const double* opt, long nopt, int k, long dflt) {
  return option_integer(option_value(opt, nopt, k, static_cast<double>(dflt)), LONG_MIN, LONG_MAX);
}

long read_nrep(const double* opt, long nopt) {
  const long t = option_integer(option_value(opt, nopt, 5, 0.0), -1, kTwoPow53 + 1);
  return (t < 0 || t > kTwoPow53) ? kTwoPow53 : t;
}

double read_positive_or(const double* opt, long nopt, int k, double dflt) {
  const double v = option_value(opt, nopt, k, dflt);
  return v > 0.0 ? v : dflt;
}

double read_nonzero_or(const double* opt, long nopt, int k, double dflt) {
  const double v = option_value(opt, nopt, k, dflt);
  return v == 0.0 ? dflt : v;
}

double read_trex(const double* opt, long nopt) {
  const double v = option_value(opt, nopt, 18, 0.05);
  return (v >= 0.0 && v < 1.0) ? v : 0.05;
}

// Options that MVE and MCD read alike.
void read_multivariate_common(LMTSTR* d, const double* opt, long nopt, bool has_start) {
  d->ilts = 0;
  d->ocor = (d->pcor == 2 || d->pcor == 3) ? 1 : 0;
  d->jqu = read_long(opt, nopt, 4, 0);
  d->nrep = read_nrep(opt, nopt);
  d->cutof = option_value(opt, nopt, 11, 0.0);
  d->sing = read_nonzero_or(opt, nopt, 12, 1e-10);
  d->cnp = option_value(opt, nopt, 13, 0.0);
  d->copr = read_positive_switch(opt, nopt, 19);
  d->seed = read_long(opt, nopt, 20, 0);
  d->cofo = has_start ? 1 : 0;
  d->plog = xpselec(nullptr, 100);
}

}  // namespace

double option_value(const double* opt, long nopt, int k, double dflt) {
  if (k < 1 || k > nopt) return dflt;
  const double v = opt[k - 1];
  return wzmis(v) ? dflt : v;
}

long option_integer(double v, long lo, long hi) {
  if (std::isnan(v)) return lo;
  const double t = std::trunc(v);
  // Compare as doubles before converting: the conversion of an out-of-range double is
  // undefined, and LONG_MAX itself is not a double.
  if (t <= static_cast<double>(lo)) return lo;
  if (t >= static_cast<double>(hi)) return hi;
  return static_cast<long>(t);
}

void read_lmts_options(LMTSTR* d, const double* opt, long nopt, int job, bool has_x, bool has_start) {
  d->ilts = job;
  const long noint = option_integer(option_value(opt, nopt, 1, 0.0), INT_MIN, INT_MAX);
  d->noint = has_x ? static_cast<int>(noint) : 0;

  read_ints(d, opt, nopt, kLmtsInts);
  d->jqu = read_long(opt, nopt, 4, 0);
  d->nrep = read_nrep(opt, nopt);

  d->cofo = 0;
  if (has_start) {
    // Opt 7 is a real switch: any value in (0, 1] asks for start coefficients.
    const double v = option_value(opt, nopt, 7, 0.0);
    if (v > 1.0 || v < 0.0 || std::isnan(v)) {
      xpmlog(kSetModule, kMsgOpt7Range);
      d->cofo = 1;
    } else {
      d->cofo = v == 0.0 ? 1 : 2;
    }
  }

  d->icov = 0;
  if (d->ilsq != 0) {
    const long t = option_integer(option_value(opt, nopt, 8, 0.0), -1, 4);
    if (t < 0 || t > 3) {
      xpmlog(kSetModule, kMsgOpt8Range);
    } else {
      d->icov = static_cast<int>(t);
    }
  }

  d->flts = (job == 1 && !has_start && read_switch(opt, nopt, 9) == 0) ? 1 : 0;
  if (d->flts == 1 && d->nrep > 0) xpmlog(kSetModule, kMsgFastLtsNrep);
  d->imve = 0;
  if (d->flts == 1) read_imve_bit(d, opt, nopt, 23, kImveConverge, kMsgOpt23Range);

  d->ztst = read_positive_or(opt, nopt, 11, 2.5);
  d->sing = read_nonzero_or(opt, nopt, 12, 1e-10);
  d->prec = read_nonzero_or(opt, nopt, 13, kPrecDefault);
  d->trex = read_trex(opt, nopt);
  d->copr = read_positive_switch(opt, nopt, 19);
  d->seed = read_long(opt, nopt, 20, d->flts == 1 ? 19 : 0);
  d->noup = read_switch(opt, nopt, 21);
  d->jdia = d->ipri >= 2 ? 2 : 1;
  d->plog = xpselec(nullptr, 100);
}

void read_mve_options(LMTSTR* d, const double* opt, long nopt, bool has_start) {
  read_ints(d, opt, nopt, kMveInts);
  read_multivariate_common(d, opt, nopt, has_start);
  d->trex = read_trex(opt, nopt);
  d->noup = read_switch(opt, nopt, 21);
}

void read_mcd_options(LMTSTR* d, const double* opt, long nopt, bool has_start) {
  read_ints(d, opt, nopt, kMcdInts);
  d->imve = 0;
  read_imve_bit(d, opt, nopt, 23, kImveConverge, kMsgOpt23Range);
  read_imve_bit(d, opt, nopt, 24, kImveDeterministic, kMsgOpt24Range);
  read_multivariate_common(d, opt, nopt, has_start);
  // The deterministic starts draw nothing, so a number of subsets, subdatasets, a generator or
  // a seed asked for alongside them would otherwise be dropped without a word.
  if ((d->imve & kImveDeterministic) != 0) {
    static const int kRandomSearch[] = {5, 16, 17, 19, 20};
    for (int k : kRandomSearch) {
      if (option_value(opt, nopt, k, 0.0) != 0.0) {
        xpmlog(kSetModule, kMsgOpt24Ignores);
        break;
      }
    }
  }
  if (d->pcor == 2) d->pcor = 0;
}

int check_subdataset_options(const LMTSTR& d) {
  constexpr int kMostSubdatasets = 500;
  if (d.nsds < 1 || d.nsds > kMostSubdatasets) {
    xpslog(
        "%1zOption 16 (the largest number of subdatasets) must be a whole number from 1 to %i, not %i: "
        "each subdataset needs at least one of the 500 random starts.",
        kMostSubdatasets,
        d.nsds);
    return 6;
  }
  if (d.lsds < 1) {
    xpslog("%1zOption 17 (the size of a subdataset) must be a whole number of at least 1, not %i.", d.lsds);
    return 6;
  }
  return 0;
}

int read_start_subset(long* jbst, const double* start, long ns, long n) {
  for (long i = 0; i < ns; ++i) {
    const long k = option_integer(start[i], 0, n + 1) - 1;
    if (k < 0 || k >= n) {
      xpmlog(kSetModule, kMsgStartElement, i + 1);
      return 6;
    }
    jbst[i] = k;
  }
  return 0;
}

}  // namespace robmat
