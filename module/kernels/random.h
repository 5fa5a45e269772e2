// The seeded uniform stream that decides every random subset draw when the engines are
// asked for it: a run with a given seed is reproducible on every platform.
#pragma once

namespace robmat {

// zranuni: next deviate of the multiplicative congruential generator
//   s <- 397204094 * s mod (2^31 - 1),  u = s / (2^31 - 1).
//   iSeed  in,out  state; only its low 32 bits are read (as an unsigned number), the new
//                  state 0 <= s < 2^31 - 1 is stored zero-extended
// Returns u in [0, 1). The state 0 is absorbing, and every seed that is a multiple of
// 2^31 - 1 maps to it. Turn u into an index below m as floor(u*m), taking m - 1 if it
// reaches m.
double zranuni(long* iSeed);

}  // namespace robmat
