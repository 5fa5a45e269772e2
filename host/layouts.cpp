// The layout store. Row layouts suit the outputs that are one vector (a location, the
// eigenvalues, a subset of observation numbers), where a row number "1" would only add noise.
#include "layouts.h"

namespace robmat::host {
namespace {

using enum LayoutKind;

constexpr Layout kLayouts[] = {
    // Search histories and diagnostics.
    {"IterHist0", kTable},
    {"IterHist1", kTable},
    {"ResDiag", kTable},
    {"LinDep", kTable},
    {"Distances", kTable},
    {"FastMCD", kTable},
    // Regression tables.
    {"LSParmEst", kTable},
    {"RLSParmEst", kTable},
    {"LSResiduals", kTable},
    {"LMSResiduals", kTable},
    {"LTSResiduals", kTable},
    {"WLSResiduals", kTable},
    // One vector each.
    {"BestSubset", kRow},
    {"GivenSubset", kRow},
    {"EstCoeff", kRow},
    {"BestHalf", kRow},
    {"LSEst", kRow},
    {"RLSEstLMS", kRow},
    {"RLSEstLTS", kRow},
    {"DistrRes", kRow},
    {"ClassicalMean", kRow},
    {"MVELoc", kRow},
    {"RobustMVELoc", kRow},
    {"EigenRobust", kRow},
    {"MCDLocEst", kRow},
    {"RewgtLocEst", kRow},
    {"MCDEigen", kRow},
    {"MeanSubData", kRow},
    {"ObsLieSubData", kRow},
    {"SizeSubData", kRow},
    // Matrices.
    {"CovParm", kMatrix},
    {"MedianMean", kMatrix},
    {"DispStdDev", kMatrix},
    {"DispAbs", kMatrix},
    {"PearCorr", kMatrix},
    {"SpearCorr", kMatrix},
    {"ClassicalCov", kMatrix},
    {"ClassicalCorr", kMatrix},
    {"MVEScatter", kMatrix},
    {"RobustMVEScatter", kMatrix},
    {"RobustCorr", kMatrix},
    {"MCDScatterEst", kMatrix},
    {"ConsScatter", kMatrix},
    {"RewgtScatter", kMatrix},
    {"RewgtCorr", kMatrix},
    {"MCDCorr", kMatrix},
    {"CovSubData", kMatrix},
    {"CoeffSubData", kMatrix},
    {"MedianMAD", kMatrix},
};

}  // namespace

const Layout* find_layout(std::string_view template_name) {
  constexpr std::string_view kPrefix = "Base.NLP.";
  if (template_name.starts_with(kPrefix)) template_name.remove_prefix(kPrefix.size());
  for (const Layout& l : kLayouts)
    if (l.name == template_name) return &l;
  return nullptr;
}

std::span<const Layout> all_layouts() { return kLayouts; }

}  // namespace robmat::host
