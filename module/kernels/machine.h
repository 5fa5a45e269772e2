// Machine constants of IEEE doubles that the kernels and engines compare with. Some are
// written with fewer digits than the exact value (the smallest normal double below is one
// unit above DBL_MIN); the thresholds are these literals, so each is written here once.
#pragma once

#include <cfloat>

namespace robmat {

inline constexpr double kDblMin = 2.225073858507202e-308;           // smallest normal double
inline constexpr double kSqrtDblMin = 1.491668147e-154;             // its square root, to 10 digits
inline constexpr double kDblMax = DBL_MAX;                          // largest double
inline constexpr double kHalfEps = 1.110223024625157e-16;           // 2^-53, the unit roundoff
inline constexpr double kUnderflowLimit = 2.2250738585072018e-307;  // 10 kDblMin: log10 of less is noise
inline constexpr double kScalableRoot = 1.491668147e-153;           // 10 kSqrtDblMin: scaling by a root
                                                                    // above it cannot underflow

// A value at or below this counts as zero where a pivot or a scale is divided by: the
// default precision threshold of the regression engines, and the negligible diagonal of a
// triangular solve.
inline constexpr double kPrecDefault = 2.2250738585072017e-300;
// The smallest rotation cosine whose reciprocal the Givens kernels form.
inline constexpr double kTinyCosine = 2.225073858507202e-305;

}  // namespace robmat
