// Option vectors of LMS/LTS, MVE and MCD read into the run descriptor, and the start subset
// that all three call routines accept. One reader per routine family, so a default or a
// check lives in one place; an out-of-range value is reported (set 549) and its default used.
#pragma once

#include "robmat/lmtstr.h"

namespace robmat {

// Option element k (1-based) as given: `dflt` when k lies beyond the vector or the element
// is missing.
double option_value(const double* opt, long nopt, int k, double dflt);

// An option value where an integer is meant: truncated toward zero and saturated to
// [lo, hi]; NaN gives lo, so a range check always rejects it.
long option_integer(double v, long lo, long hi);

// read_lmts_options: options of LMS (job 0) and LTS (job 1) into d.
//   d          in,out  run descriptor, cleared by the caller; sets ilts, noint, ipri, ilsq,
//                      jqu, nrep, cofo, icov, flts, ztst, sing, prec, pcor, nsds, lsds, trex,
//                      copr, seed, noup, doim (opt 22: exchange variant 0-3), jdia and plog;
//                      with FAST-LTS also imve (opt 23: converged final stage 0 or 1)
//   opt, nopt  in      the option vector and its number of elements (0 for an empty one)
//   has_x      in      a regressor matrix is given (without one the intercept is forced)
//   has_start  in      a fourth argument (start subset or coefficients) is given
// Integer options are truncated before they are checked; ztst, sing, prec, trex and the
// subset/coefficient switch opt 7 are compared as given. Logs 549/901-904 and 907 without
// arguments, 908 for opt 22 and 909 for opt 23.
void read_lmts_options(LMTSTR* d, const double* opt, long nopt, int job, bool has_x, bool has_start);

// read_mve_options: options of MVE into d (ilts 0; ipri, pcov, pcor, ocor, jqu, nrep, cutof,
// sing, cnp, trex, copr, seed, noup, doim (opt 22: exchange variant 0-3), cofo and plog).
// Logs 549/900-902 and 908 (opt 22) without arguments.
void read_mve_options(LMTSTR* d, const double* opt, long nopt, bool has_start);

// read_mcd_options: options of MCD into d (ilts 0; ipri, pcov, pcor, ocor, jqu, nrep, cutof,
// sing, cnp, nsds, lsds, copr, seed, imve (bits: opt 23 the converged final stage, opt 24
// the deterministic starts), cofo and plog). opt 3 = 2 returns correlations without printing
// them: ocor 1, pcor 0. Logs 549/900-902, 909 (opt 23), 910 (opt 24) and 911 (opt 24 with options of the
// random search) without arguments.
void read_mcd_options(LMTSTR* d, const double* opt, long nopt, bool has_start);

// check_subdataset_options: the subdataset options nsds (opt 16) and lsds (opt 17) as the
// FAST-MCD and FAST-LTS searches can use them: nsds from 1 to 500 (each subdataset needs at
// least one of the 500 random starts) and lsds at least 1. The work space is sized from
// them, so they are checked before anything is obtained.
// Returns 0, or 6 after logging which option was wrong and what it must be.
int check_subdataset_options(const LMTSTR& d);

// read_start_subset: observation numbers (1-based, truncated) into 0-based indices.
//   start, ns  in   the subset as given
//   n          in   number of observations
//   jbst       out  ns indices in 0..n-1
// Returns 0, or 6 after logging 549/906 with the 1-based position (long) of the first
// element outside 1..n.
int read_start_subset(long* jbst, const double* start, long ns, long n);

}  // namespace robmat
