// The LMS/LTS regression engine: the objective and its exact one-dimensional solutions, the
// elemental-subset search, least squares fits, the intercept-only model, the maps between the
// standardized and the input scale, and the work-space layout the front end carves. Every
// routine reads and writes the run descriptor; none allocates. The design has the intercept
// as its last column; observation indices are 0-based.
#pragma once

#include "robmat/arena.h"
#include "robmat/lmtstr.h"

namespace robmat {

// ---- work space ----------------------------------------------------------------------------

// What one LMS/LTS call needs from the host: work-space blocks and result rows.
struct LmtsSizes {
  long doubles;   // first double block
  long longs;     // 64-bit integer block
  long doubles3;  // third double block (FAST-LTS only, else 0)
  long names;     // U_SNAME records: p names and "Response"
  int est_rows;   // rows of result 2 (p columns): 2 without least squares, else 4, or 8
                  // with the significance rows
  int obs_rows;   // rows of result 3 (n columns): 3, or 4 with least squares
};

// lmts_sizes: block sizes for n observations and p design columns (N = p(p+1)/2).
//   subset search: N + (n + 2p) + p + (p+1)(p+2) + 4 + n(p+2) doubles, n + 2p more when
//                  ilsq = 0 (x, ster, qres then live in work space rather than in results);
//                  2(p + n) + 4 longs
//   FAST-LTS:      N + 4n(p+1) + p + 4 + p(10 nsds + 12) doubles; 11 nsds + 5n + 4 +
//                  2 lsds (nsds + 1) longs, and p - 4n more when 4n < p (jbst, below);
//                  (p+1)n + p + np + 20 nsds + 4 + 6n + 12p doubles; and for the
//                  single-exchange descent of a converged final stage N + K(p + 2) doubles
//                  and 2K longs more (K = kLtsSwapCandidates)
//   nsds and lsds as check_subdataset_options accepts them (at least 1)
//   signif  nonzero: option 8 asks for standard errors (the significance rows exist with
//           ilsq != 0, whatever the covariance switch ends up as)
LmtsSizes lmts_sizes(long n, int p, int ilsq, int flts, int nsds, int lsds, int signif);

// The cases on each side of the subset among which FAST-LTS's single-exchange descent tries
// its exchanges. The descent's few vectors are always part of the FAST-LTS blocks (a
// negligible share of them), so that the converged final stage never goes without it.
inline constexpr long kLtsSwapCandidates = 16;

// lmts_carve_search: points the descriptor's vectors into the subset-search blocks.
//   str  in,out  reads ncas, nvar, ilsq; sets a (n x p, row stride p), b (n), amad, amed (p),
//                c ((p+1)(p+2)), rupd (N), aw (2n), work (p), and when ilsq = 0 x, ster (p)
//                and qres (n); jsub, jbst (p) and iw (2n + 4); h (see lmts_place_h). inca
//                and incb are set to p and 1. coef, wgts, sres, uhyb are result rows and
//                are the caller's, and so are x, ster and qres when ilsq != 0; so are the
//                box (dwim 10, lwim 10p) when an exchange runs.
//   dbl  in      lmts_sizes(..).doubles doubles
//   lng  in      lmts_sizes(..).longs longs
// Returns false (nothing usable) when a block is shorter than the layout needs.
bool lmts_carve_search(LMTSTR* str, Arena<double> dbl, Arena<long> lng);

// lmts_fast_jbst: the length of jbst with FAST-LTS: the search's 4n, or the p marks of "no
// subset" that the front end writes when there are fewer than p/4 observations (which the
// driver then refuses).
long lmts_fast_jbst(long n, int p);

// lmts_carve_fast: the FAST-LTS blocks: a, b (n), amad, amed and c (the rest of the first
// block); jbst (lmts_fast_jbst) and iw (the rest) of the integers; from the third block work
// (the rest), aw (2n), lsqx, x, ster (p) and qres (n). The FAST-LTS search carves its own
// vectors from c, work and iw. Returns false when a block is too short.
bool lmts_carve_fast(LMTSTR* str, Arena<double> dbl, Arena<long> lng, Arena<double> dbl3);

// lmts_fast_lengths: what lmts_carve_fast leaves to the FAST-LTS search, in elements: c (the
// rest of the first block), work (the rest of the third) and iw (the rest of the integers).
struct FastLengths {
  long c;
  long work;
  long iw;
};
FastLengths lmts_fast_lengths(long n, int p, int nsds, int lsds);

// lmts_place_h: the covariance matrix h follows c: c keeps (p+2)(p+1)/2 doubles in the
// subset search (flts = 0) and n(p+1) with FAST-LTS. The elemental solves use p*p doubles
// of c, so for p >= 4 they run into h; h is only read right after the least squares fit that
// fills it.
void lmts_place_h(LMTSTR* str);

// ---- objective ----------------------------------------------------------------------------

// oflmts: residuals and criterion of a coefficient vector.
//   str     in,out  reads nvar, ncas, jqu (h), ilts, noint, a, inca, b, incb, fact, prec;
//                   sres receives the n signed residuals; aw (2n doubles) is scratch
//   adjint  in      nonzero (with an intercept): moves the intercept x[p-1] to the LMS or LTS
//                   location of the residuals, so the criterion is the best over intercepts
//   x       in,out  p coefficients
// Returns LMS: the h-th smallest |r|; LTS: sqrt(sum of the h smallest r^2 / h).
double oflmts(LMTSTR* str, int adjint, double* x);

// lmsloc: LMS location and scale of a sorted sample (midpoint of the shortest window of h).
//   str   in   ncas (n), jqu (h), fact, prec (window lengths within prec tie); aw from
//              position n holds the tied midpoints (at most n - h + 1)
//   slut  out  the middle of the tied midpoints (the lower middle for an even count)
//   bstd  out  half the shortest length times fact
//   w     in   n values in ascending order
void lmsloc(LMTSTR* str, double* slut, double* bstd, double* w);

// ltsloc: LTS location and scale of a sorted sample: the window of h values with the least
// sum of squared deviations (the leftmost of equal windows).
//   slut  out  its mean
//   bstd  out  sqrt(that sum / h) times fact
// Other arguments as lmsloc.
void ltsloc(LMTSTR* str, double* slut, double* bstd, double* w);

// nbreak: breakdown value of the choice h for m observations and n parameters.
//   tb  out  100 k / m percent, k = h - n + 1 when h < (m+n+1)/2, else m - h + 1
// Returns 1 when k is the largest possible, m - (m+n+1)/2 + 1; else 0.
int nbreak(long jqu, long m, int n, double* tb);

// ---- least squares (on the standardized data, 0/1 weights in wgts) -------------------------

// lsl: weighted least squares through the origin for p = 1.
//   writes x[0] (0 when sum w a^2 <= DBL_MIN), fssq, and with icov h[0] =
//   (fssq/(n-1)) / sum w a^2 (missing when that sum is <= DBL_MIN)
void lsl(LMTSTR* str);

// lsreg: weighted least squares for p >= 1 by the UDU' factorization of X'WX; when that is
// singular, by sweeping X'WX (tolerance sing relative to its diagonal).
//   reads a, inca, b, incb, wgts, nvar, ncas, sing, icov; writes x, fssq, cnul (parameters set
//   aside as dependent), and with icov the packed covariance of the estimates in h and the
//   standard errors in ster; iw (p) and aw (2p) are scratch
// Returns 0 when X'WX was regular; 1 when singular (estimates from the generalized inverse).
int lsreg(LMTSTR* str);

// qlsreg: sum of w_i (a_i x - y_i)^2 over all observations.
double qlsreg(LMTSTR* str);

// ---- subset search -------------------------------------------------------------------------

// chrep: how many subsets of size nimx to use: all C(n, nimx) when nrep (0 = default by the
// tables replo/reptb) is at least that, else nrep random ones. Sets nrep and algo (0 all,
// 1 random); notes 438-440 when printing; warns with 963 above 10^6, 964 above 10^5 (p > 2).
void chrep(LMTSTR* str, int nimx);

// getlis1: solves the elemental subset jsub by LU (tolerance sing, 1e-8 when not positive).
//   fctw  out  the criterion oflmts(str, 1, work), with the intercept adjusted
// The estimates go to work; c (p*p), iw (p) are scratch. p = 1: y/x, or 0 when x = 0.
// Returns 0, or -1 when singular.
int getlis1(LMTSTR* str, double* fctw);

// getlis2: getlis1 by a fresh QR factorization of the subset's transposed design (Q in c,
// packed R in rupd). doup, obin and obout (entering and leaving observation) are accepted
// for an updating solve and not used. aw[0..3p) is scratch.
// Returns 0; -1 when a subset row is dependent; -2 when the triangular solve fails.
int getlis2(LMTSTR* str, int* doup, long obin, long obout, double* fctw);

// inbox: offers jsub (sorted ascending here) with criterion fctw to the box of the ten best
// subsets (dwim ascending, lwim rows of p indices; p + 1 when job > 1). An equal criterion
// goes before the entries it equals; the same subset at that place is not stored twice.
// Sets nbox and of10 (criterion of the last entry).
void inbox(LMTSTR* str, int job, double fctw);

// restt: residuals, final scale and 0/1 weights of coef.
//   jobr  in   0: standardized scale; 1: input scale (through amed, amad, bmed, bmad)
//   jabs  in   1 with jopt != 1: absolute residuals into sres; otherwise signed
//   jopt  in   0: no scale; nzwe counts the residuals below 3.3e-16 (set to 0)
//              otherwise: scal = sqrt(sum r^2 / d) over |r| <= quan*ztst (d = k - p, or 1
//              when k <= p); wgts = 1 where |r| <= ztst*scal; nzwe, avw
//   scal  out  the scale (0 when jopt = 0)
//   quan  in   preliminary scale
void restt(LMTSTR* str, int jobr, int jabs, int jopt, double* scal, double quan);

// dolmts: the elemental subset search. Enumerates all subsets in lexicographic order or
// draws random ones (copr = 0: the 16-bit generator draws whole subsets; otherwise the
// uniform stream replaces one member, and seed must not be a multiple of 2^31 - 1, where
// the stream sticks at 0; subsets 0 and 1 are the first and the last p observations; at most
// 3 nrep draws). Keeps the first best criterion in fctw, jbst and coef;
// feeds the box when an exchange follows; collects uhyb when jhyb; counts jlp and jerd;
// prints progress and the history table IterHist0 by ipri.
//   doim  out  the exchange variant to run: str->doim after random subsets, else 0
// Returns 1 after an exact fit (criterion < prec: jbst, coef, fckw = psca = fctw set,
// absolute residuals in sres, nzwe of them 0), else 0. Every subset singular logs 430 and
// ends the run through xexit(9999, 0).
int dolmts(LMTSTR* str, int* doim);

// sublms: the robust fit on standardized data: the search (cofo = 0), a start subset in jbst
// (cofo = 1) or start coefficients on the input scale in coef (other cofo); then fckw, the
// preliminary scale psca, the robust R-square rsqu, and by restt the final scale fctw, the
// residuals sres and the weights wgts. With flts the search is FAST-LTS (doflts, on the
// blocks of lmts_carve_fast).
// Returns 0; -1 when the start subset is singular (message 956; coef, sres, fctw missing).
int sublms(LMTSTR* str);

// ---- the driver ----------------------------------------------------------------------------

// zlmts: the LMS/LTS engine. Completes the defaults (strides, seed, sing, prec, ztst; print
// switches capped at ipri = 0), checks the problem, bounds h, sets the consistency factor,
// and then runs the intercept-only model (lcat), or standardizes (statis) and runs the
// ordinary least squares fit (ilsq 2, 3), the robust fit and the reweighted fit (ilsq 1, 3),
// carrying every estimate back to the input scale and printing by ipri.
// Returns 0; 1 after an exact fit (no reweighted fit) or when the reweighted cross products
// are singular (952); 100 + lcat's result for the intercept-only model; -1 when n <= 2p
// (967), -2 when p < 1 (965), -3 when FAST-LTS is asked for but not built, or the uniform
// stream's seed would stick at 0, -4 when the intercept column is not all ones (950), -5
// when the robust fit failed. A column of scale 0 ends the run (968/969, xexit 9999).
int zlmts(LMTSTR* str);

// ---- reports -------------------------------------------------------------------------------

// statis: location (median, or 0 without an intercept) and scale (MAD times madc, else the
// mean absolute deviation times mavc) of every design column but the intercept and of the
// response, into amed/amad and bmed/bmad; a and b are standardized in place. With ipri it
// prints MedianMean and DispStdDev (DispAbs without an intercept), and with pcor the
// correlations (corr). Returns 0, or -1 after 968/969 when a scale is 0.
int statis(LMTSTR* str);

// corr: Pearson (into h) and Spearman (into c) correlations, packed, of the standardized
// regressors and the response (in the intercept's place, or last without an intercept),
// printed as PearCorr (pcor 1, 3) and SpearCorr (pcor 2, 3). sres, aw and iw are scratch.
void corr(LMTSTR* str);

// prilmts: the report of the robust fit: heading, objective, breakdown, the search, the best
// or given subset, EstCoeff and the scales, the residuals (rdual job 1), and ResDiag when the
// diagnostics were collected.
void prilmts(LMTSTR* str);

// prils: the report of a least squares fit (job 0) or the reweighted one (job 2): estimates,
// or the parameter table with tests and Wald limits (icov >= 2); CovParm (icov 3). Completes
// rsql, fval (rsqu) and fsce = sqrt(fssq / (n avw - p)) first.
void prils(LMTSTR* str, int job);

// rdual: residuals of a fit on the input scale: job 0 least squares (x, fsce, into qres), 1
// the robust fit (coef, fctw, into sres), 2 the reweighted fit (x, fsce, into qres). Stores
// residual / scale (the residual itself when the scale is below 3.3e-14) at every print
// level; prints the residual table and DistrRes from ipri = 2. aw (2n) is scratch.
void rdual(LMTSTR* str, int job);

// ---- the driver's small routines -----------------------------------------------------------

// lmts_consistency: consistency factor fact of the criterion for h = jqu of n = ncas: from
// the tables flms/flts by h/n in steps of 1/40 when copr != 0, else by the normal formulas
// (LMS 1/q, LTS 1/sqrt(1 - 2n q phi(q)/h), q = Phi^-1((h+n)/2n)); also madc and mavc.
void lmts_consistency(LMTSTR* str);

// lcat: the model with only an intercept, on the raw response b: LMS or LTS location and
// scale, 0/1 weights (|r| <= ztst s), final scale, and the least squares fits by ilsq. Needs
// jqu and fact. Returns 0; 1 when the MAD of y is <= 1e-12 (961, ordinary fit asked);
// 2 when fewer than 3 weights are 1 (962); -1 when n < 3 (960) or the scale is below
// 1.05e-8 (966).
int lcat(LMTSTR* str);

// rtran: estimates from the standardized to the input scale: coef when job = 1 (and fckw by
// bmad^2), x otherwise (and fssq by bmad^2). The intercept absorbs the locations.
void rtran(LMTSTR* str, int job);

// irtran: the inverse of rtran's map of the estimates (fckw and fssq untouched; nothing when
// bmad = 0).
void irtran(LMTSTR* str, int job);

// trc: with icov, carries the packed covariance h through rtran's linear map (C <- T C T')
// and sets ster = sqrt(diag).
void trc(LMTSTR* str);

// rsqu: R-square rsql and F value fval of a least squares fit with residual sum of squares
// sse on the input scale. job 0: all n observations; otherwise the nzwe of weight 1. F is
// missing when no residual degrees of freedom are left.
void rsqu(LMTSTR* str, int job, double sse);

// ---- univariate LMS without intercept ------------------------------------------------------

// sublms1dnoint: exact LMS of y on one regressor through the origin by walking the slope axis
// from crossing to crossing of the squared residuals (see lms1d.h). h-th smallest squared
// residual, or with noint = 999 and even n the mean of the two middle ones. Fills coef[0],
// fckw, psca, rsqu, fctw, sres, wgts, nzwe, avw; iw (n) is scratch. Returns 0.
int sublms1dnoint(LMTSTR* str);

}  // namespace robmat
