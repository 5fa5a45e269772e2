// The sweep operator on packed symmetric matrices: zsweepr sweeps a range of pivots greedily
// and returns the rank it finds; one step is the host's serial zsweep or, for large orders,
// zpsweep, whose rank-one update runs in row blocks on a pool of host worker threads.
#pragma once

#include "kernels/pool.h"

namespace robmat {

typedef char tchar;

// One worker's share of a sweep step.
struct SweepParms {
  int start;    // first row of the block
  int end;      // one past the last row
  int numRows;  // order of the matrix
  int k;        // current pivot
  double* x;    // the packed matrix
  double* a;    // u, the scaled pivot vector
  double* b;    // v, the signed pivot vector
};

struct SweepControl {
  PuddleControl puddleControl;
  int numThreads;
  int numRows;
  SweepParms* parms;   // one per thread
  double* work;        // u and v (2*numRows) with threads, numRows without
  char noThreadsFlag;  // 1: every step is the host's serial zsweep
  double time;         // wall time of the parallel steps, host clock units
};
typedef SweepControl* SweepControlPtr;

// zsweepr: greedy sweep of the pivots k0..kn of a symmetric matrix, packed lower triangle by
// rows (element (i,j), j <= i, at i(i+1)/2 + j).
//   x           in,out  the matrix; swept pivots hold the generalized inverse part
//   k0, kn      in      pivot range; k0 > kn sweeps nothing
//   n           in      order
//   df          in,out  n characters '0'/'1', swept state; each step toggles one entry
//   diag        in,out  null, or n doubles: pivots j with diag[j] = 0 are never chosen and
//                       scores are x(j,j)/|diag[j]|; with option 'd' filled with the diagonal
//   work        out     n doubles for the serial steps
//   epsilon     in      selection threshold |epsilon|; negative: scores are absolute values
//   logdet      out     null, or the sum of log x(j,j) over the pivots swept
//   options     in      null or a zero-terminated string of single letters: 'z' zero the rows
//                       and columns of unswept pivots in k0..kn at the end; 'd' fill diag
//                       first; 'f' with 'd', store diagonal values of magnitude <= 2^-53 as 0;
//                       '0' reset every df entry to '0' first
//   control     in      null, or a prepared control block (zpsweepi) used for every step
//   numThreads  in      with control null and n >= 251: worker threads, negative for the host's
//                       "host.cpucount"; fewer than 2 means serial
// Returns the number of pivots swept. A control block made here comes from the host's memory
// service and is released before the return.
int zsweepr(double* x,
            int k0,
            int kn,
            int n,
            char* df,
            double* diag,
            double* work,
            double epsilon,
            double* logdet,
            tchar* options,
            SweepControlPtr control,
            int numThreads);

// zpsweepi: prepares a control block.
//   numThreads  in   worker threads T
//   numRows     in   order of the matrices to sweep
//   cutoff      in   fewest rows worth threads; 0 means 250
//   forceFlag   in   nonzero: threads even below the cutoff or for T < 2
//   control     out  serial (noThreadsFlag 1, work of numRows) or a pool of T workers whose
//                    row blocks hold equal shares of the lower triangle
// Returns 0. Memory or a pool that cannot be had ends the run (xexit(1012, 0)).
int zpsweepi(int numThreads, int numRows, int cutoff, char forceFlag, SweepControl* control);

// zpsweep: one sweep step on pivot k, with the effect of the host's zsweep.
//   x        in,out  packed matrix of order control->numRows
//   k        in      pivot; outside 0..numRows-1 is reported and ends the run (9999)
//   df       in,out  swept states; df[k] toggles when the step is taken
//   sing     in      tolerance: >= 0, no step when x(k,k) <= sing; < 0, when |x(k,k)| <= |sing|
//   control  in,out  from zpsweepi; `time` grows by the wall time of a parallel step
void zpsweep(double* x, int k, char* df, double sing, SweepControl* control);

// zpsweept: releases what zpsweepi obtained (work, and with threads parms and the pool).
void zpsweept(SweepControl* control);

// sweepcb: the pool's request callback; `request` is a SweepParms*.
void sweepcb(RZMemPtr context, RZGenerich request, RZThreadh thread, TPDLCallBacksp cb);

// sweepBlock: rank-one update of the rows start..end-1 except row k:
// x(i,j) -= u_i * v_j for j = 0..i.
void sweepBlock(SweepParms* parms);

}  // namespace robmat
