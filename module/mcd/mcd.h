// The MCD engine: minimum covariance determinant location and scatter by FAST-MCD (random
// elemental starts, concentration steps, subdatasets and a merged set for large n), with
// exact-fit detection, consistency correction, reweighting and robust distances. The draws
// and constants it shares with FAST-LTS are kernels (kernels/draws.h).
#pragma once

#include <cstdint>

#include "robmat/lmtstr.h"

namespace robmat {

// The work space and results of one MCD call, counted in elements; the front end obtains
// them, the engine carves them and checks its share against them, tests size their blocks
// with them.
struct McdSizes {
  long data;         // doubles of the data block: a and b, n x p each
  long c;            // doubles of c: 10p + 10 nsds p + (10 nsds + 12) p(p+1)/2
  long work;         // doubles of work (dneed): p^2 + 10p + 30 (nsds + 1) + 2n (the
                     //   criteria, trials and counts of the nsds + 1 lists among them), and
                     //   with the deterministic starts np + 3n + p^2 + p(p+1)/2 + 3p more
  long ints;         // 64-bit integers (lneed): 11 nsds + 5n + 2 lsds (nsds + 1), and 6n more
                     //   with the deterministic starts; jsub, jbst, iw
  long names;        // name records: p + 1
  int32_t est_rows;  // rows of result 2: p + 2, or 2p + 2 with ocor
};
// nsds and lsds count only groups that can exist (at most n / lsds groups, none larger than
// n), so a large option 16 or 17 asks for no more than the data can use. starts: 1 with the
// deterministic starts (imve's kImveDeterministic); 0 gives the sizes of the random search.
McdSizes mcd_sizes(long n, long p, long nsds, long lsds, int ocor, int starts = 0);

// mcd_lane_doubles: the doubles of the work space of the parallel stages on `threads` worker
// lanes (a FastLaneSpace), for the subdatasets that n, nsds and lsds give.
long mcd_lane_doubles(long n, long p, long nsds, long lsds, int threads);

// mcd_check_problem: whether n observations of p variables admit an MCD estimate.
// Returns 0; -1 when n <= p (logs 549/953); -2 when p < 1 (logs 549/965). The front end asks
// before it sizes anything, the engine again on entry.
int mcd_check_problem(long n, long p);

// zmcd: MCD estimate for the data in the run descriptor.
//   str  in,out  reads nvar (p), ncas (n), ipri, pcov, pcor, ocor, jqu, nrep, nsds, lsds,
//                seed, copr, cofo, cutof, sing, imve (kImveDeterministic: the six
//                deterministic starts instead of the random search; kImveConverge: the
//                converged final stage), pnam, rpx and the vectors carved by the MCD
//                front end (sized by mcd_sizes with imve):
//                  a     n x p data (row-major); standardized during the search, restored
//                  b     n x p doubles of work
//                  c     10p + 10*nsds*p + (10*nsds + 12)*p(p+1)/2 doubles; on exit the
//                        packed reweighted scatter in c[0 .. p(p+1)/2 - 1]
//                  work  dneed doubles (p^2 + 10p + 20*nsds + 2n)
//                  jbst  n longs, at position n of an integer block of lneed longs
//                        (11*nsds + 5n + 2*lsds*(nsds + 1)); iw at its position 2n
//                  xmve  row 1 and 2 of the second result, and the rows after them: on exit
//                        the reweighted location in xmve[0..p-1], the eigenvalues of the
//                        reweighted scatter in xmve[p..2p-1] (missing when they cannot be
//                        had) and, with ocor, the packed reweighted correlation matrix at
//                        xmve[2p + p(p+1)/2]
//                  maha  3n doubles: on exit the classical squared distances, the robust
//                        squared distances and the 0/1 weights, n each; a value that does
//                        not exist (singular classical covariance, exact fit) is missing
//                  secstr  null, or the FastLaneSpace of mcd_lane_doubles: the groups'
//                        starts then run on that many worker threads, with the same results
//                writes jqu (h used), nrep, algo, jlp, jerd, nzwe (weights 1), fact, volm
//                (determinant of the raw scatter), dism, cutof, aw (points into work) and
//                jbst (the best h-subset, 1-based and ascending)
// Returns 0; -1 when n <= p (549/953); -2 when p < 1 (549/965); -3 when an eigen
// decomposition that an exact fit needs fails. Work space smaller than the engine needs ends
// the run through xexit(9999, 0). Allocates nothing.
int zmcd(LMTSTR* str);

}  // namespace robmat
