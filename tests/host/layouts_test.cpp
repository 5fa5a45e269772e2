// Every output name the module prints has a host layout, and the row layout shows a vector
// without a row number, continuing columns that do not fit below.
#include "layouts.h"

#include <gtest/gtest.h>

#include "listing.h"

namespace {

using namespace robmat::host;

TEST(Layouts, EveryOutputNameHasOne) {
  // The module's output index, as the reports name their outputs.
  const char* names[] = {
      "IterHist0",    "IterHist1",     "BestSubset",   "GivenSubset",  "EstCoeff",     "BestHalf",
      "ResDiag",      "LSEst",         "RLSEstLMS",    "RLSEstLTS",    "LSParmEst",    "RLSParmEst",
      "CovParm",      "LSResiduals",   "LMSResiduals", "LTSResiduals", "WLSResiduals", "DistrRes",
      "MedianMean",   "DispStdDev",    "DispAbs",      "PearCorr",     "SpearCorr",    "ClassicalMean",
      "ClassicalCov", "ClassicalCorr", "MVELoc",       "MVEScatter",   "RobustMVELoc", "RobustMVEScatter",
      "EigenRobust",  "RobustCorr",    "Distances",    "LinDep",       "SizeSubData",  "FastMCD",
      "MCDLocEst",    "MCDScatterEst", "ConsScatter",  "RewgtLocEst",  "RewgtScatter", "MCDEigen",
      "RewgtCorr",    "MCDCorr",       "MeanSubData",  "CovSubData",   "CoeffSubData", "ObsLieSubData",
      "MedianMAD"};
  for (const char* n : names) {
    SCOPED_TRACE(n);
    const Layout* l = find_layout(std::string("Base.NLP.") + n);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->name, n);
  }
  EXPECT_EQ(all_layouts().size(), std::size(names));
  EXPECT_EQ(find_layout("Base.NLP.NoSuchOutput"), nullptr);
}

TEST(Layouts, RowLayoutWrapsWithoutRowNumbers) {
  MatrixOutput m;
  m.name = "BestHalf";
  m.template_name = "Base.NLP.BestHalf";
  m.title = "Best half";
  m.label = "Best half";  // equal to the title: shown once
  m.shape = "rb";
  m.values = Matrix(1, 30);
  for (int j = 0; j < 30; ++j) m.values.at(0, j) = 100 + j;
  const std::string out = render_matrix_output(m, 40);
  EXPECT_EQ(out.find("Best half\nBest half"), std::string::npos);
  // Columns of width 3 joined by two spaces: 7 fit in 40 columns, so 5 blocks of headers and values.
  EXPECT_NE(out.find("\n  100  101  102  103  104  105  106  107\n"), std::string::npos) << out;
  size_t blocks = 0;
  for (size_t at = out.find("  100"); at != std::string::npos; at = out.find("\n\n", at + 1)) ++blocks;
  EXPECT_GT(blocks, 3u) << out;
}

}  // namespace
