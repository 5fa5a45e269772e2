// The run descriptor: one record per call of LMS, LTS, MVE or MCD. The front end clears it,
// fills options and sizes and points its vectors into work space and result matrices; the
// engine reads the options and leaves its results here. It owns nothing. The field order is
// fixed (engines, reports and front ends are written against it), so offsets are pinned below.
#pragma once

#include <cstddef>

#include "robmat/host_services.h"

namespace robmat {

// F: set by the front end, E: written by the engine.
struct LMTSTR {
  // Switches and counts.
  int ilts;     // F 0 = LMS, 1 = LTS (0 for MVE and MCD)
  int imve;     // F robmat's own switches, one bit each (kImve*): the converged final stage
                //   of FAST-MCD and FAST-LTS (opt 23), MCD's deterministic starts (opt 24)
  int copr;     // F regime of constants and random generator (opt 19 > 0)
  int algo;     // E 0 = all subsets enumerated, 1 = random subsets, 2 = deterministic starts
  int nvar;     // F p: design columns (with the intercept column) or variables
  int mvar;     // E set by the regression driver
  int noint;    // F 0 = last design column is the intercept
  int doim;     // F exchange variant; 0 from every front end
  int cnul;     // E aliased columns of the last least squares fit
  int ilsq;     // F 0 none, 1 reweighted LS, 2 ordinary LS, 3 both
  int icov;     // F covariance of the estimates wanted (0-3)
  int ipri;     // F print level 0-5
  int pcov;     // F MVE/MCD: print the scatter matrix
  int pcor;     // F print correlations (0-3)
  int ocor;     // F MVE/MCD: return the correlation matrix too
  int jhyb;     // E diagnostics switch of the subset search
  int jdia;     // F LMS/LTS: 2 when ipri >= 2, else 1
  int plog;     // F xpselec(null, 100)
  int nbox;     // E entries in the box of best subsets
  int cofo;     // F 0 no start, 1 start subset, 2 start coefficients
  int noup;     // F no factorization updating in the enumeration
  int nsds;     // F largest number of subdatasets
  int lsds;     // F size of a subdataset
  int flts;     // F LTS: 1 = FAST-LTS
  int step;     // E FAST-LTS step figure
  int maxpnam;  // E width of the longest name

  // Counts.
  long ncas;   // F n, observations
  long seed;   // F seed of the random subsets
  long nnva;   // F p(p+1)/2
  long jqu;    // F/E h; 0 = engine default, the engine stores the h used
  long jlp;    // E subsets drawn or enumerated
  long jerd;   // E singular subsets among them
  long nzwe;   // E observations of weight 1
  long nrep;   // F/E number of subsets; 0 = engine default
  long inca;   // F row stride of a
  long incb;   // F stride of b
  long lneed;  // F 64-bit integers in the FAST-LTS / MCD work block
  long dneed;  // F doubles in the MCD work block

  // Scalars.
  double sing;   // F singularity tolerance
  double bmad;   // E scale of the response
  double bmed;   // E location of the response
  double trex;   // F exchange tolerance
  double fact;   // E consistency factor of the criterion
  double ztst;   // F reweighting cutoff in units of scale
  double prec;   // F precision threshold
  double fckw;   // E minimized criterion
  double fctw;   // E final robust scale
  double psca;   // E preliminary scale
  double rsqu;   // E robust R-square
  double fssq;   // E residual sum of squares of the last LS fit
  double fsce;   // E residual scale of the last LS fit
  double rsql;   // E R-square of the last LS fit
  double fval;   // E F value of the last LS fit
  double avw;    // E mean weight
  double cnp;    // F/E small-sample correction of the scatter; <= 0 = engine default
  double cutof;  // F/E reweighting cutoff; 0 = chi-square 0.975 (engine stores its root)
  double volm;   // E volume or determinant criterion of the best solution
  double dism;   // E its distance scale
  double of10;   // E criterion of the last entry of the box
  double madc;   // E report constant
  double mavc;   // E report constant

  // Vectors. Lengths in elements, by routine: S the LMS/LTS subset search, FL FAST-LTS,
  // MVE, MCD (n cases, p design columns or variables, N = p(p+1)/2). F: carved by the front
  // end (from work space or a result row); E: carved or only written by the engine.
  U_SNAME* pnam;  // F p names and one more ("Response", "Addition"): the names block
  long* jsub;     // F current subset: S p, MVE p+1; MCD n at the start of the integer block
  long* lsub;     // E complement of the current subset (n-p, MVE n-p-1); not carved by a front end
  long* jbst;     // F/E best subset: S p (1000000 until set), FL 4n, MVE p+1, MCD n (1-based
                  //   ascending on exit); the front end stores a given start subset here
  long* lwim;     // E the box of ten best subsets, rows of p (MVE p+1) sorted indices
  long* iw;       // F integer work: S the rest of the integers, FL and MCD the rest of the
                  //   integer block (lneed - 2n for MCD), MVE p+1
  double* a;      // F data, n rows of p (row stride inca): a copy of the design or of x
  double* b;      // F S/FL the response (n, with FL's room after it); MCD n x p of stage work
  double* amed;   // F S/FL p: location of each design column (E fills it)
  double* amad;   // F S/FL p: scale of each design column (E fills it)
  double* coef;   // F S/FL row 1 of result 2: the robust coefficients, or given start ones
  double* wgts;   // F S/FL row 1 of result 3, MVE row 3: 0/1 weights (E fills them)
  double* sres;   // F S/FL row 2 of result 3: scaled residuals of the robust fit
  double* uhyb;   // F S/FL row 3 of result 3: largest scaled residual over the subsets
  double* maha;   // F MVE, MCD row 1 of result 3: classical squared distances (MCD: 3n, the
                  //   robust ones and the weights after them)
  double* dmve;   // F MVE row 2 of result 3: robust squared distances
  double* xmve;   // F MVE, MCD row 1 of result 2: location (MCD writes the rows after it too)
  double* eval;   // F MVE row 2 of result 2: eigenvalues of the robust scatter
  double* x;      // F S/FL p: least squares estimates (rows of result 2 when ilsq != 0)
  double* ster;   // F S/FL p: standard errors (a row of result 2 when ilsq != 0)
  double* qres;   // F S/FL n: scaled least squares residuals (row 4 of result 3 with ilsq)
  double* c;      // F work matrix: S (p+2)(p+1), FL the rest of the first block, MVE
                  //   (p+2)(p+1), MCD mcd_sizes().c; packed scatter (MVE, MCD) on exit
  double* h;      // E packed covariance of the estimates (S/FL, after c) or a second packed
                  //   matrix (MVE)
  double* cupd;   // E copies of Q (p x p) for the trial removals of the exchange
  double* lupd;   // E copies of R (packed) for the trial removals of the exchange
  double* rupd;   // F S N: packed triangular factor of the subset solves
  double* work;   // F S p, FL third block, MVE m = max(n, p+1), MCD dneed doubles
  double* lsqx;   // F FL p: ordinary least squares estimates kept for the front end
  double* dwim;   // E criteria of the box of ten best subsets (ascending)
  double* aw;     // F S 2n, FL third block, MVE 3m; MCD points it at its own scratch

  // Host output objects (handles; the host owns them).
  void* comstr;  // not used
  void* secstr;  // F FAST-MCD and FAST-LTS: the work space of the subdatasets' starts on worker
                 //   threads (a FastLaneSpace, kernels/fast_search.h), or null: serial
  void* rpx;     // F the output manager, created first and released last by the front end
  void* out;     // E the most recently bound output of a row table
  void* ithis;   // E row table IterHist0 (subset searches)
  void* ithis1;  // E row table IterHist1 (exchange refinement)
  void* lide;    // E row table LinDep (dependency analysis)
  void* mrdist;  // E row table Distances of MVE
  void* resdia;  // E row table ResDiag (regression diagnostics)
  void* parest;  // E row tables LSParmEst, RLSParmEst
  void* presid;  // E row tables of residuals (LS, LMS, LTS, WLS)
  void* fctd;    // E row table FastMCD (MCD and FAST-LTS header)
  void* mrdis2;  // E row table Distances of MCD
};

static_assert(sizeof(int) == 4 && sizeof(long) == 8 && sizeof(void*) == 8);
// The bits of LMTSTR::imve. The record's layout is fixed, so robmat's own switches share the
// one field no front end of the routines' own options uses.
inline constexpr int kImveConverge = 1;       // opt 23
inline constexpr int kImveDeterministic = 2;  // opt 24

static_assert(offsetof(LMTSTR, maxpnam) == 100 && offsetof(LMTSTR, ncas) == 104);
static_assert(offsetof(LMTSTR, dneed) == 192 && offsetof(LMTSTR, sing) == 200);
static_assert(offsetof(LMTSTR, mavc) == 376 && offsetof(LMTSTR, pnam) == 384);
static_assert(offsetof(LMTSTR, aw) == 616 && offsetof(LMTSTR, comstr) == 624);
static_assert(offsetof(LMTSTR, mrdis2) == 720 && sizeof(LMTSTR) == 728);

}  // namespace robmat
