// The pairwise exchange refinement of the LMS/LTS subset search: the best subsets kept in
// the box are improved by exchanging one member for one outside observation at a time, the
// new hyperplane solved by updating a QR factorization (or by LU), until no branch improves.
// The variants share one loop and differ in the exchanges tried and when a scan may stop.
#pragma once

#include "robmat/lmtstr.h"

namespace robmat {

// What an exchange needs beyond the subset search's blocks: the box (dwim 10, lwim 10p), the
// complement of a subset (lsub, n - p) and the copies of Q and R taken for each removal
// (cupd p*p, lupd p(p+1)/2).
struct LmtsExchangeSizes {
  long doubles;  // dwim, cupd, lupd
  long longs;    // lwim, lsub
};
LmtsExchangeSizes lmts_exchange_sizes(long n, int p);

// lmts_carve_exchange: points dwim, cupd, lupd and lwim, lsub of str (ncas, nvar set) into
// blocks of lmts_exchange_sizes.
void lmts_carve_exchange(LMTSTR* str, double* dbl, long* lng);

// xchlmts1, xchlmts2, xchlmts3: the refinement of the box (nbox entries; criteria dwim
// ascending, subsets lwim of p sorted indices; a missing criterion is an inactive entry).
// Each pass moves every active branch to its best neighbour that lowers its criterion by
// more than a relative 1.1e-12; variant 1 tries every member (last to first) against every
// outside observation, variant 2 stops a branch's scan at the first improvement below
// (1 - trex) times its criterion, variant 3 tries only the members of largest absolute
// residual against the outside observations of smallest. A branch that does not improve
// becomes inactive, and so does one that reaches another entry's subset. With updating
// (noup = 0, p > 1) each trial is one QR removal and one addition, else an LU solve
// (tolerance sing). Trials are counted in jlp, singular ones in jerd; uhyb collects when
// jhyb. Afterwards fctw, jbst and coef are those of the best subset when it beats fctw; a
// trial that fits exactly (criterion < prec) ends the refinement with its subset and
// residuals. Note 461, the table IterHist1 and note 442 by ipri. Nothing happens when
// nbox = 0. A box subset that cannot be factored ends the run (xexit 9999).
void xchlmts1(LMTSTR* str);
void xchlmts2(LMTSTR* str);
void xchlmts3(LMTSTR* str);

// lmts_exchange: the variant 1-3 (other values: none).
void lmts_exchange(LMTSTR* str, int variant);

}  // namespace robmat
