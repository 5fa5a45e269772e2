// The help texts of the routines as data (arguments, options, print levels, results) and one
// renderer, so every routine's help has the same sections in the same order. A routine
// whose computation lands later gets its entry in kRoutines with `available` set to false
// until then; the overview and the routine's own help say so.
#include "help.h"

#include <algorithm>
#include <cctype>
#include <span>

namespace robmat::host {

namespace {

struct Arg {
  const char* name;
  const char* text;
};

struct Option {
  const char* position;
  const char* meaning;
  const char* dflt;
  const char* allowed;
};

struct Level {
  const char* level;
  const char* text;
};

struct Result {
  const char* name;
  const char* shape;
  const char* text;
};

struct Entry {
  const char* name;
  bool available;
  const char* summary;
  const char* call;
  std::span<const Arg> args;
  const char* options_intro;  // null: the routine has no option vector
  std::span<const Option> options;
  std::span<const Level> levels;
  std::span<const Result> results;
  const char* notes;
};

// ---- MAD ---------------------------------------------------------------------------------
constexpr Arg kMadArgs[] = {
    {"x",
     "numeric matrix, n x p (n, p >= 1). Missing values (NA, and NaN, which is NA) are left out "
     "column by column; an infinite value is refused."},
    {"method",
     "optional character value: \"mad\" (the default) the raw median absolute deviation "
     "med|x - med x|; \"nmad\" the normalized MAD, the raw MAD divided by 0.6745 (the "
     "standard normal's third quartile), consistent for the standard deviation at the normal "
     "distribution; \"sn\" and \"qn\" Rousseeuw and Croux's Sn and Qn, with their consistency "
     "and small-sample factors. Case does not matter. Exactly these words are read: one of 1 to 8 "
     "characters whose first three letters are MAD (\"mad\", \"MADX\") or NMA (\"nmad\", "
     "\"nma\"), or whose first two are SN (\"sn\", \"snx\") or QN (\"qn\"); so \"m\", \"n\", "
     "\"s\" and \"q\" are not methods. Another word writes a note and computes the raw MAD."},
};
constexpr Level kMadLevels[] = {
    {"-", "MAD prints nothing; it logs a note only for an unknown method."},
};
constexpr Result kMadResults[] = {
    {"s",
     "1 x p",
     "the scale of each column over its non-missing values: missing (NA) for a column "
     "without values, 0 for a column with one value."},
};

// ---- MCD ---------------------------------------------------------------------------------
constexpr Arg kMcdArgs[] = {
    {"opt", "option vector, a row or a column (see Options); [] takes every default."},
    {"x",
     "numeric data matrix, n x p: n observations (rows) of p variables; n > p, no missing or "
     "infinite values. Its column names name the results (unnamed columns are VAR1, VAR2, ... as in "
     "the printed report)."},
    {"start",
     "optional: p + 1 observation numbers (1..n) of a start subset; the search then also "
     "starts from it."},
};
constexpr Option kMcdOptions[] = {
    {"1", "print level (see Print levels)", "0", "0 to 5"},
    {"2", "print the scatter matrices", "0", "0 or 1; levels 3 to 5 print them anyway"},
    {"3",
     "correlation matrices",
     "0",
     "0 none; 1 print them; 2 return them in est without printing; 3 print and return"},
    {"4",
     "h: the number of observations whose covariance determinant is minimized",
     "(n + p + 1) / 2, rounded down",
     "n/2 + 1 to 3n/4 + (p+1)/4 (each rounded down); a value outside is moved into the range, "
     "with a note; 0 takes the default"},
    {"5",
     "number of random trial subsets of p + 1 observations",
     "automatic: 500 trials, all subsets when there are few, subdatasets (opt 16, 17) when n "
     ">= 2 x opt 17",
     "1 or more; when all subsets are no more than this, every one is tried; a negative "
     "value means every subset (a search of a million or more warns with its expected time; "
     "Ctrl-C cancels it)"},
    {"11",
     "reweighting cutoff on the squared scale: compared with the squared robust distances "
     "(Python's cutoff= is a distance, squared for you)",
     "the 0.975 quantile of chi-square with p degrees of freedom",
     "> 0; 0 or less takes the default"},
    {"12", "singularity tolerance of the covariance inversions", "1e-10", "> 0; 0 takes the default"},
    {"16", "largest number of subdatasets for large n", "5", "1 to 500; other values are refused"},
    {"17", "size of a subdataset", "300", "1 or more; other values are refused"},
    {"19",
     "random generator",
     "0",
     "0 the routine's own generator (the same subsets on every machine); > 0 the host's uniform "
     "stream, seeded from the clock when opt 20 is below 1"},
    {"20", "seed of the random trial subsets", "0", "any whole number"},
    {"23",
     "robmat's own extension: converged final stage: its concentration steps run until the "
     "determinant stops falling, from the 10 best kept solutions up to n = 5000, 50000 / n "
     "beyond (at least 1); never worse than 0 for the same seed",
     "0 (a fixed step budget)",
     "0 or 1"},
    {"24",
     "robmat's own extension: deterministic starts (DetMCD of Hubert, Rousseeuw and Verdonck "
     "2012) instead of random ones, the same answer on every run and for every order of the rows",
     "0 (random starts)",
     "0 or 1; with 1, opt 5, 16, 17, 19 and 20 are not used and sc row 2 counts the six starts"},
};
constexpr Level kMcdLevels[] = {
    {"0", "nothing."},
    {"1",
     "the run's header (p, n, h), the classical mean, the median and MAD of each variable, "
     "the raw MCD location, the reweighted location and the eigenvalues of the reweighted "
     "scatter; with opt 2 = 1 the scatter matrices, with opt 3 = 1 or 3 the correlations."},
    {"2",
     "adds the observation numbers of the best h-subset and a table of every observation's "
     "classical and robust distance and weight."},
    {"3, 4",
     "add every scatter and correlation matrix (classical, raw, consistent, reweighted) and "
     "the number of trial starts and concentration steps."},
    {"5",
     "adds notes in the log on the search: the fraction in the best subset, the subsets drawn, "
     "each stage, and for large n the sizes and best solutions of the subdatasets."},
};
constexpr Result kMcdResults[] = {
    {"sc",
     "7 x 1",
     "rows named h, subsets, nonsingular, outliers, determinant, distance_scale, cutoff: 1 h; 2 "
     "subsets drawn; 3 nonsingular subsets among them; 4 observations of weight 0 (flagged as "
     "outliers); 5 the raw MCD criterion, the determinant of the raw scatter (NA when p = 1, 0 "
     "after an exact fit; the largest double when it is beyond the range of doubles); 6 the "
     "distance scale, the square root of the h-th smallest squared distance of the best subset; "
     "7 the cutoff: a distance (the square root of the default chi-square quantile), or opt 11 "
     "as given, on the squared scale."},
    {"est",
     "(p + 2) x p, or (2p + 2) x p with opt 3 = 2 or 3",
     "row 1 (location) the reweighted location; row 2 (eigenvalues) the eigenvalues of the "
     "reweighted scatter; rows 3 to p + 2 (named by the variables) the reweighted scatter matrix; "
     "with opt 3 = 2 or 3, rows p + 3 to 2p + 2 the reweighted correlation matrix. Columns are "
     "named by the variables. Missing when no observation lies within the cutoff."},
    {"dist",
     "3 x n",
     "one column per observation: row 1 (mahalanobis) the classical Mahalanobis distance, row "
     "2 (robust) the robust distance (from the reweighted estimate), row 3 (weight) the weight, "
     "1 when the squared robust distance is at most the squared cutoff and 0 otherwise. After "
     "an exact fit row 2 is missing and the weight is 1 when the distance from the hyperplane is "
     "at most the squared cutoff."},
};
constexpr const char* kMcdNotes =
    "FAST-MCD: elemental starts refined by concentration steps, with nested subdatasets for "
    "large n; then a consistency factor, reweighting with the cutoff, and robust distances. "
    "When h or more observations lie on a hyperplane (an exact fit) the routine reports the "
    "hyperplane and returns the mean and scatter of the observations on it; a variable whose MAD "
    "is at most 1e-12 (1e-14 from p = 5, 1e-16 from p = 9) counts as constant whatever its "
    "units, so data should not be in units near 1e-12. The host warns of an exact fit at every "
    "print level. A call that cannot compute fails with a message that says why.";

// ---- MVE ---------------------------------------------------------------------------------
constexpr Arg kMveArgs[] = {
    {"opt", "option vector, a row or a column (see Options); [] takes every default."},
    {"x", "numeric data matrix, n x p: n observations (rows) of p variables; n > p, no missing values."},
    {"start",
     "optional: p + 1 observation numbers (1..n) of a subset; its ellipsoid is taken instead of "
     "searching (refined by opt 22 when given)."},
};
constexpr Option kMveOptions[] = {
    {"1", "print level (see Print levels)", "0", "0 to 5"},
    {"2", "print the scatter matrices", "0", "0 or 1"},
    {"3",
     "correlation matrices",
     "0",
     "0 none; 1 print them; 2 return them in est without printing; 3 print and return"},
    {"4",
     "h: the number of observations the ellipsoid must cover",
     "(n + p + 1) / 2, rounded down",
     "n/2 + 1 to 3n/4 + (p+1)/4 (each rounded down); a value outside is moved into the range, "
     "with a note; 0 takes the default"},
    {"5",
     "number of random subsets of p + 1 observations",
     "automatic: all subsets when n is at most 50, 22, 17, 15, 14 for p = 1 to 5, else 1000, "
     "1500, 2000, 2500 random ones for p = 1 to 4 and 3000 beyond",
     "1 or more; when all subsets are no more than this, every one is tried; a negative value "
     "means as many as possible"},
    {"11",
     "reweighting cutoff, compared with the squared robust distances",
     "the 0.975 quantile of chi-square with p degrees of freedom",
     "> 0; 0 or less takes the default"},
    {"12",
     "singularity tolerance of the subset and covariance factorizations",
     "1e-10",
     "0 takes the default"},
    {"13",
     "small-sample correction factor of the MVE scatter",
     "1 + 15/(n - p)",
     "> 0; 0 or less takes the default"},
    {"18",
     "exchange tolerance: variant 2 of opt 22 ends an entry's scan at an improvement by more "
     "than this fraction",
     "0.05",
     "0 to below 1; other values take the default"},
    {"19",
     "random generator",
     "0",
     "0 the routine's own generator (the same subsets on every machine); > 0 the host's uniform "
     "stream, which changes one member at a time, seeded from the clock when opt 20 is below 1"},
    {"20", "seed of the random subsets", "0", "any whole number"},
    {"21",
     "no factor updating: every subset of the complete enumeration and every exchange is "
     "factored from scratch",
     "0",
     "0 or 1"},
    {"22",
     "robmat's own extension: pairwise exchange refinement of the ten best subsets after a "
     "random search or of a given start subset",
     "0 (none)",
     "1 best exchange of every member and outside observation; 2 as 1, an entry's scan ending "
     "at the first large improvement (opt 18); 3 only the members farthest from the centre "
     "against the nearest outside observations"},
};
constexpr Level kMveLevels[] = {
    {"0", "nothing."},
    {"1",
     "the required coverage h, the classical mean, the number of subsets and how they are "
     "chosen, progress notes, the best criterion, the MVE location, the reweighted location, "
     "the eigenvalues of the reweighted scatter, a summary of the robust distances and the "
     "cutoff; with opt 2 = 1 the scatter matrices, with opt 3 = 1 or 3 the correlations."},
    {"2",
     "adds an iteration history of the search (and of the exchange, opt 22), the observation "
     "numbers of the best subset and a table of every observation's classical and robust "
     "distance and weight."},
    {"3, 4", "add a row to the exchange history for every improvement."},
    {"5", "writes a row of the search history for every subset, with its criterion."},
};
constexpr Result kMveResults[] = {
    {"sc",
     "7 x 1",
     "1 h; 2 subsets tried (with the exchange trials of opt 22); 3 singular subsets among "
     "them; 4 observations of weight 1; 5 the volume criterion of the best subset, d^p "
     "sqrt(det C) with C the covariance of the subset and d the root of the h-th smallest "
     "squared distance under it; 6 that distance d; 7 the cutoff: the square root of the "
     "default chi-square quantile, or opt 11 as given."},
    {"est",
     "(p + 2) x p, or (2p + 2) x p with opt 3 = 2 or 3",
     "row 1 the reweighted location; row 2 the eigenvalues of the reweighted scatter; rows 3 "
     "to p + 2 the reweighted scatter matrix; with opt 3 = 2 or 3, rows p + 3 to 2p + 2 the "
     "reweighted correlation matrix."},
    {"dist",
     "3 x n",
     "one column per observation: row 1 the classical Mahalanobis distance, row 2 the robust "
     "distance (from the reweighted estimate), row 3 the weight, 1 when the squared robust "
     "distance is at most the cutoff and 0 otherwise."},
};
constexpr const char* kMveNotes =
    "Every candidate is the ellipsoid of the mean and covariance of p + 1 observations, "
    "inflated to cover h observations; the smallest wins. Its scatter is scaled for "
    "consistency at the normal (by opt 13 squared and the chi-square median), the "
    "observations within the cutoff of it give the reweighted estimate, and that gives the "
    "robust distances and weights. A singular classical covariance (observations on a "
    "hyperplane), a singular start subset or a singular reweighted covariance leaves sc, est "
    "and dist missing (NA) and logs why.";

// ---- LMS and LTS -------------------------------------------------------------------------
constexpr Arg kRegressionArgs[] = {
    {"opt", "option vector, a row or a column (see Options); [] takes every default."},
    {"y", "the response: a column of n values, no missing values."},
    {"x",
     "optional: the regressors, n rows of k columns, no missing values. An intercept column is "
     "added as the last parameter unless opt 1 is nonzero. Without x the model is a location: "
     "the intercept alone."},
    {"start",
     "optional: p observation numbers (1..n) of a start subset, which replaces the search; or, "
     "with opt 7 between 0 and 1 (not 0), p start coefficients (intercept last)."},
};
constexpr Option kRegressionOptions[] = {
    {"1", "no intercept", "0", "0 fits an intercept; any other value leaves it out (p = k)"},
    {"2", "print level (see Print levels)", "0", "0 to 5"},
    {"3",
     "least squares fits beside the robust one",
     "0",
     "0 none; 1 reweighted (the observations of weight 1); 2 ordinary; 3 both"},
    {"4",
     "h: the number of smallest squared residuals in the criterion",
     "(n + p + 1) / 2, rounded down",
     "n/2 + 1 to 3n/4 + (p+1)/4 (each rounded down); a value outside is moved into the range, "
     "with a note; 0 takes the default"},
    {"5",
     "number of random subsets of p observations",
     "all subsets when there are few (n <= 500, 50, 22, 17, 15, 14 for p = 1..6), else 500 to "
     "3000 by p",
     "1 or more; when all subsets are no more than this, every one is evaluated; a negative "
     "value means as many as possible"},
    {"7", "what start is", "0", "0 an observation subset; a value in (0, 1] coefficients"},
    {"8",
     "standard errors and tests of the least squares fits (with opt 3)",
     "0",
     "0 none; 1 standard errors, t, p and 95% limits in est; 2 also the parameter tables; 3 also "
     "the covariance matrices"},
    {"9", "LTS: search", "0 (FAST-LTS)", "0 FAST-LTS; 1 the elemental subset search"},
    {"11", "reweighting cutoff, in robust scales", "2.5", "> 0; 0 or less takes the default"},
    {"12", "singularity tolerance of the subset solves and the least squares fits", "1e-10", "> 0"},
    {"13", "precision: a criterion or scale below it counts as 0", "2.2e-300", "> 0"},
    {"14",
     "correlations of the data",
     "0",
     "0 none; 1 Pearson; 2 Spearman; 3 both (printed from print level 1)"},
    {"16", "FAST-LTS: largest number of subdatasets", "5", "1 to 500; other values are refused"},
    {"17", "FAST-LTS: size of a subdataset", "300", "1 or more; other values are refused"},
    {"18",
     "exchange tolerance: variant 2 of opt 22 ends an entry's scan at an improvement by more "
     "than this fraction",
     "0.05",
     "0 to below 1; other values take the default"},
    {"19",
     "random generator",
     "0",
     "0 the routine's own generator (the same subsets on every machine) and consistency factors "
     "by formula; > 0 the host's uniform stream, seeded from the clock when opt 20 is below 1, "
     "and tabulated factors"},
    {"20",
     "seed of the random subsets",
     "0 (19 for FAST-LTS)",
     "any whole number; with opt 19 not one whose low 32 bits are a multiple of 2147483647"},
    {"21", "no factorization updating in the enumeration", "0", "0 or 1"},
    {"22",
     "robmat's own extension: pairwise exchange refinement of the ten best subsets of a random "
     "subset search, or of a given start subset (not with FAST-LTS)",
     "0 (none)",
     "1 best exchange of every member and outside observation; 2 as 1, an entry's scan ending "
     "at the first large improvement (opt 18); 3 only the members of largest residual against "
     "the outside observations of smallest"},
    {"23",
     "robmat's own extension, FAST-LTS only: converged final stage: its concentration steps "
     "run until the criterion stops falling, from the 10 best kept solutions up to n = 5000, "
     "max(3, 50000 / n) beyond; never worse than 0 for the same seed",
     "0 (a fixed step budget)",
     "0 or 1"},
};
constexpr Level kRegressionLevels[] = {
    {"0", "nothing."},
    {"1",
     "the median, mean and dispersion of every variable (and the correlations with opt 14); "
     "the estimates of the least squares fits with their residual sum of squares, scale, "
     "R-square and F test; the subsets searched, the best subset, the robust coefficients, "
     "criterion, scales and robust R-square."},
    {"2, 3, 4",
     "add a table of the residuals of every fit (observed, fitted, residual, scaled residual; "
     "the weight for the reweighted fit) with their distribution, the iteration history of the "
     "search, and the diagnostics U (each observation's largest scaled residual over all "
     "subsets)."},
    {"5", "adds every subset's criterion to the iteration history."},
};
constexpr Result kRegressionResults[] = {
    {"sc",
     "20 x 1",
     "1 h; 2 subsets evaluated; 3 singular subsets among them; 4 observations of weight 1; 5 "
     "the minimized criterion (LMS: the h-th smallest absolute residual; LTS: the root of the "
     "mean of the h smallest squared residuals); 6 the preliminary scale; 7 the final robust "
     "scale; 8 the robust R-square; 9 the consistency factor; with opt 3: 11 the residual "
     "scale, 12 the residual sum of squares, 13 R-square and 14 F of the last least squares "
     "fit. Other rows are NA."},
    {"est",
     "2 x p; 4 x p with opt 3; 8 x p with opt 3 and opt 8",
     "one column per parameter, the intercept last: row 1 the robust coefficients; row 2 the "
     "best subset as observation numbers (NA for start coefficients); with opt 3 row 3 the "
     "least squares estimates (of the last fit) and row 4 their standard errors; with opt 8 "
     "rows 5 to 8 t values, two-sided p values and the lower and upper 95% Wald limits."},
    {"obs",
     "3 x n, or 4 x n with opt 3",
     "one column per observation: row 1 the weight (1 when the residual is within opt 11 "
     "robust scales, else 0); row 2 the residual of the robust fit divided by its scale; row 3 "
     "the diagnostic U (NA unless the subsets were searched); with opt 3 row 4 the scaled "
     "residual of the last least squares fit."},
};
constexpr const char* kRegressionNotes =
    "The robust fit takes hyperplanes through p observations (all subsets, or random ones), "
    "moves the intercept to the best value for each, and keeps the one with the smallest "
    "criterion; LMS through the origin with one regressor is solved exactly. The data are "
    "standardized by median and MAD for the search and every estimate is reported on the "
    "input scale. When h or more observations lie on one hyperplane (an exact fit) the final "
    "scale is 0 and no reweighted fit is made. A failure of the computation leaves every "
    "result missing (NA) and logs why.";

constexpr Entry kRoutines[] = {
    {"MAD",
     true,
     "robust scale of each column: MAD, normalized MAD, Sn or Qn",
     "s = MAD(x [, method])",
     kMadArgs,
     nullptr,
     {},
     kMadLevels,
     kMadResults,
     nullptr},
    {"MCD",
     true,
     "robust location and scatter by minimum covariance determinant (FAST-MCD)",
     "[sc, est, dist] = MCD(opt, x [, start])",
     kMcdArgs,
     "Element k of opt sets option k; an element beyond the end of opt, or NA, takes the "
     "default, and non-integral values are truncated. Positions not listed are not used.",
     kMcdOptions,
     kMcdLevels,
     kMcdResults,
     kMcdNotes},
    {"LMS",
     true,
     "robust regression by least median of squares",
     "[sc, est, obs] = LMS(opt, y [, x [, start]])",
     kRegressionArgs,
     "Element k of opt sets option k; an element beyond the end of opt, or NA, takes the "
     "default, and non-integral values are truncated where a whole number is meant. Positions "
     "not listed are not used.",
     kRegressionOptions,
     kRegressionLevels,
     kRegressionResults,
     kRegressionNotes},
    {"LTS",
     true,
     "robust regression by least trimmed squares",
     "[sc, est, obs] = LTS(opt, y [, x [, start]])",
     kRegressionArgs,
     "As for LMS, except the search: by default (opt 9 = 0 and no start) FAST-LTS draws 500 "
     "elemental subsets (all of them when they are few) and refines each by concentration "
     "steps, the least squares fit of the h observations of smallest residual; when n is at "
     "least twice opt 17 it first searches up to opt 16 random subdatasets of opt 17 "
     "observations and their merged set. Its seed is 19 unless opt 20 gives another, and opt 5 "
     "is not used. With FAST-LTS, est row 2 holds the least squares estimates (NA without opt "
     "3), the rows of standard errors, t, p and limits follow it, and obs row 3 is NA.",
     kRegressionOptions,
     kRegressionLevels,
     kRegressionResults,
     kRegressionNotes},
    {"MVE",
     true,
     "robust location and scatter by minimum volume ellipsoid",
     "[sc, est, dist] = MVE(opt, x [, start])",
     kMveArgs,
     "Element k of opt sets option k; an element beyond the end of opt, or NA, takes the "
     "default, and non-integral values are truncated where a whole number is meant. Positions "
     "not listed are not used.",
     kMveOptions,
     kMveLevels,
     kMveResults,
     kMveNotes},
};

constexpr size_t kWidth = 80;

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Words of text broken into lines of at most width characters (a longer word stands alone).
std::vector<std::string> wrap(std::string_view text, size_t width) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t j = text.find(' ', i);
    if (j == std::string_view::npos) j = text.size();
    if (j == i) break;
    std::string_view word = text.substr(i, j - i);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
    i = j;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

// A paragraph indented by `indent` spaces.
void paragraph(std::string& out, std::string_view text, size_t indent) {
  for (const auto& l : wrap(text, kWidth - indent)) out += std::string(indent, ' ') + l + '\n';
}

// Rows of cells under a header, each column as wide as given; cells wrap inside their column.
void table(std::string& out,
           const std::vector<size_t>& widths,
           const std::vector<std::vector<std::string>>& rows) {
  for (const auto& row : rows) {
    std::vector<std::vector<std::string>> cells;
    size_t height = 0;
    for (size_t c = 0; c < row.size(); ++c) {
      cells.push_back(wrap(row[c], widths[c]));
      height = std::max(height, cells.back().size());
    }
    for (size_t r = 0; r < height; ++r) {
      std::string line = "  ";
      for (size_t c = 0; c < row.size(); ++c) {
        std::string cell = r < cells[c].size() ? cells[c][r] : "";
        if (c + 1 < row.size()) cell.resize(widths[c] + 2, ' ');
        line += cell;
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out += line + '\n';
    }
  }
}

// Name-and-text pairs: the names in one column, the texts wrapped beside them.
template <typename T, typename Label, typename Text>
void labelled(std::string& out, std::span<const T> items, Label label, Text text) {
  size_t w = 0;
  for (const T& it : items) w = std::max(w, std::string(label(it)).size());
  std::vector<std::vector<std::string>> rows;
  for (const T& it : items) rows.push_back({label(it), text(it)});
  table(out, {w, kWidth - 4 - w - 2}, rows);
}

std::string render(const Entry& e) {
  std::string out;
  paragraph(out, std::string(e.name) + ": " + e.summary, 0);
  out += "\n  " + std::string(e.call) + "\n";
  if (!e.available) {
    out += '\n';
    paragraph(out,
              std::string("Not available in this build of robmat yet: the routine is registered, and a call "
                          "reports that it cannot compute. ") +
                  e.name + "'s full help comes with its computation.",
              2);
  }
  if (!e.args.empty()) {
    out += "\nArguments\n";
    labelled(
        out, e.args, [](const Arg& a) { return a.name; }, [](const Arg& a) { return a.text; });
  }
  if (e.options_intro != nullptr) {
    out += "\nOptions\n";
    paragraph(out, e.options_intro, 2);
    std::vector<std::vector<std::string>> rows = {{"opt", "meaning", "default", "allowed values"}};
    for (const Option& o : e.options) rows.push_back({o.position, o.meaning, o.dflt, o.allowed});
    table(out, {3, 24, 18, 25}, rows);
  }
  if (!e.levels.empty()) {
    out += "\nPrint levels\n";
    labelled(
        out, e.levels, [](const Level& l) { return l.level; }, [](const Level& l) { return l.text; });
  }
  if (!e.results.empty()) {
    out += "\nResults\n";
    for (const Result& r : e.results) {
      out += "  " + std::string(r.name) + " (" + r.shape + ")\n";
      paragraph(out, r.text, 4);
    }
  }
  if (e.notes != nullptr) {
    out += "\nNotes\n";
    paragraph(out, e.notes, 2);
  }
  return out;
}

}  // namespace

const std::vector<RoutineSummary>& routine_summaries() {
  static const std::vector<RoutineSummary> list = [] {
    std::vector<RoutineSummary> v;
    for (const Entry& e : kRoutines) v.push_back({e.name, e.summary, e.available});
    return v;
  }();
  return list;
}

std::optional<std::string> routine_help(std::string_view name) {
  const std::string u = upper(name);
  for (const Entry& e : kRoutines)
    if (u == e.name) return render(e);
  return std::nullopt;
}

}  // namespace robmat::host
