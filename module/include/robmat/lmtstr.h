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
  int imve;     // never set (stays 0)
  int copr;     // F regime of constants and random generator (opt 19 > 0)
  int algo;     // E 0 = all subsets enumerated, 1 = random subsets
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

  // Vectors, carved by the front end.
  U_SNAME* pnam;  // p names and one more
  long* jsub;
  long* lsub;
  long* jbst;
  long* lwim;
  long* iw;
  double* a;
  double* b;
  double* amed;
  double* amad;
  double* coef;
  double* wgts;
  double* sres;
  double* uhyb;
  double* maha;
  double* dmve;
  double* xmve;
  double* eval;
  double* x;
  double* ster;
  double* qres;
  double* c;
  double* h;
  double* cupd;
  double* lupd;
  double* rupd;
  double* work;
  double* lsqx;
  double* dwim;
  double* aw;

  // Host output objects.
  void* comstr;
  void* secstr;
  void* rpx;  // the output manager
  void* out;  // the most recently bound output
  void* ithis;
  void* ithis1;
  void* lide;
  void* mrdist;
  void* resdia;
  void* parest;
  void* presid;
  void* fctd;
  void* mrdis2;
};

static_assert(sizeof(int) == 4 && sizeof(long) == 8 && sizeof(void*) == 8);
static_assert(offsetof(LMTSTR, maxpnam) == 100 && offsetof(LMTSTR, ncas) == 104);
static_assert(offsetof(LMTSTR, dneed) == 192 && offsetof(LMTSTR, sing) == 200);
static_assert(offsetof(LMTSTR, mavc) == 376 && offsetof(LMTSTR, pnam) == 384);
static_assert(offsetof(LMTSTR, aw) == 616 && offsetof(LMTSTR, comstr) == 624);
static_assert(offsetof(LMTSTR, mrdis2) == 720 && sizeof(LMTSTR) == 728);

}  // namespace robmat
