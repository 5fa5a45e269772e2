// The routine descriptions: one entry per routine (arguments, options, result names, review)
// and the generic pieces that apply them. A routine's review holds what only the host can
// see after the call: outcomes that the module reports at high print levels only, or not in
// words.
#include "routine_descriptions.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace robmat::host {

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::string number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

const Matrix* matrix_arg(std::span<const Value* const> args, size_t i) {
  return i < args.size() && args[i] != nullptr ? std::get_if<Matrix>(args[i]) : nullptr;
}

// ---- MAD ---------------------------------------------------------------------------------
constexpr ArgDescription kMadArgs[] = {{"x", ArgRole::kData}, {"method", ArgRole::kKeyword}};
constexpr const char* kMadCols[] = {"{variables}"};
constexpr ResultDescription kMadResults[] = {{"s", {}, kMadCols}};

// ---- MCD ---------------------------------------------------------------------------------
constexpr ArgDescription kMcdArgs[] = {
    {"opt", ArgRole::kOptions}, {"x", ArgRole::kData}, {"start", ArgRole::kSubset}};
constexpr OptionDescription kMcdOptions[] = {
    {1, "the print level", OptionKind::kInteger},
    {2, "the scatter printing switch", OptionKind::kInteger},
    {3, "the correlation switch", OptionKind::kInteger},
    {4, "h", OptionKind::kInteger},
    {5, "the number of subsets", OptionKind::kInteger},
    {11, "the cutoff", OptionKind::kReal},
    {12, "the singularity tolerance", OptionKind::kReal},
    {16, "the number of subdatasets", OptionKind::kInteger},
    {17, "the size of a subdataset", OptionKind::kInteger},
    {19, "the random generator switch", OptionKind::kInteger},
    {20, "the seed", OptionKind::kInteger},
    {23, "the converged final stage", OptionKind::kInteger},
    {24, "the deterministic starts", OptionKind::kInteger},
};
// The rows of sc. The cutoff is reported as a distance by default, and as given (a squared
// distance) when option 11 sets it.
constexpr const char* kMcdSummaryRows[] = {
    "h", "subsets", "nonsingular", "outliers", "determinant", "distance_scale", "cutoff"};
constexpr const char* kMcdEstRows[] = {"location", "eigenvalues", "{variables}", "{variables}"};
constexpr const char* kMcdEstCols[] = {"{variables}"};
constexpr const char* kMcdDistRows[] = {"mahalanobis", "robust", "weight"};
constexpr const char* kMcdDistCols[] = {"{observations}"};
constexpr ResultDescription kMcdResults[] = {
    {"sc", kMcdSummaryRows, {}},
    {"est", kMcdEstRows, kMcdEstCols},
    {"dist", kMcdDistRows, kMcdDistCols},
};

// The raw median and MAD of a column as the MCD engine takes them (the mean of the two middle
// order statistics for an even count).
double column_mad(const Matrix& x, int64_t j) {
  std::vector<double> v(static_cast<size_t>(x.rows));
  for (int64_t i = 0; i < x.rows; ++i) v[static_cast<size_t>(i)] = x.at(i, j);
  auto middle = [](std::vector<double>& w) {
    const size_t n = w.size();
    std::nth_element(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(n / 2), w.end());
    const double upper = w[n / 2];
    if (n % 2 == 1) return upper;
    const double lower = *std::max_element(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(n / 2));
    return (upper + lower) * 0.5;
  };
  const double med = middle(v);
  for (int64_t i = 0; i < x.rows; ++i) v[static_cast<size_t>(i)] = std::fabs(x.at(i, j) - med);
  return middle(v);
}

// MCD reports these outcomes only in its printed report (print level 1 and up), or not at
// all: an exact fit, and a determinant beyond the range of doubles.
void review_mcd(const Review& r) {
  const Matrix* x = matrix_arg(r.args, 1);
  if (x == nullptr || r.results.size() != 3 || r.results[0].data.size() != 7) return;
  const Matrix& sc = r.results[0];
  const int64_t p = x->cols;
  const double det = sc.data[4];
  if (p > 1 && det == 0.0 && is_missing(sc.data[5])) {
    // The engine treats a variable whose MAD is at most this as constant; it depends on p
    // only, not on the data's units.
    const double eps = p < 5 ? 1e-12 : (p < 9 ? 1e-14 : 1e-16);
    for (int64_t j = 0; j < p; ++j) {
      const double mad = column_mad(*x, j);
      if (mad <= eps) {
        const std::string& name = r.variables[static_cast<size_t>(j)];
        r.warn("MCD ended in an exact fit because the MAD of " + name + " is " + number(mad) +
               ", at or below the tolerance " + number(eps) +
               " under which it counts a variable as constant: more than half of the observations "
               "lie on the hyperplane " +
               name + " = its median. The tolerance does not scale with the data, so data in units near " +
               number(eps) + " look constant; rescale them if " + name + " is not constant.");
        return;
      }
    }
    r.warn("MCD ended in an exact fit: at least h = " + number(sc.data[0]) + " of the " +
           std::to_string(x->rows) +
           " observations lie on a hyperplane, so the MCD scatter matrix is singular and no robust "
           "distance exists. The estimates are the mean and covariance of the observations on the "
           "hyperplane, and an observation's weight is 1 when its distance from the hyperplane is "
           "at most the squared cutoff.");
    return;
  }
  if (det == DBL_MAX) {
    r.warn(
        "The determinant of the raw MCD scatter matrix is beyond the range of doubles; sc(5) "
        "holds the largest double, " +
        number(DBL_MAX) + ", in its place.");
  }
}

constexpr RoutineDescription kDescriptions[] = {
    {"MAD", kMadArgs, 0, nullptr, {}, kMadResults, nullptr},
    {"MCD", kMcdArgs, 1, "VAR", kMcdOptions, kMcdResults, review_mcd},
};

// The names a part of a description stands for.
std::vector<std::string> expand(const char* part,
                                const std::vector<std::string>& variables,
                                const std::vector<std::string>& observations) {
  const std::string_view s(part);
  if (s == "{variables}") return variables;
  if (s == "{observations}") return observations;
  return {std::string(s)};
}

// The names of `count` rows or columns from the parts, or none when whole parts do not add up
// to count.
std::vector<std::string> names_for(std::span<const char* const> parts,
                                   int64_t count,
                                   const std::vector<std::string>& variables,
                                   const std::vector<std::string>& observations) {
  std::vector<std::string> names;
  for (const char* part : parts) {
    if (static_cast<int64_t>(names.size()) == count) break;
    std::vector<std::string> more = expand(part, variables, observations);
    if (more.empty()) return {};
    names.insert(names.end(), more.begin(), more.end());
  }
  if (static_cast<int64_t>(names.size()) != count) return {};
  return names;
}

}  // namespace

const RoutineDescription* describe_routine(std::string_view name) {
  const std::string u = upper(name);
  for (const RoutineDescription& d : kDescriptions)
    if (u == d.name) return &d;
  return nullptr;
}

std::string argument_label(const RoutineDescription* d, size_t i) {
  std::string label = "argument " + std::to_string(i + 1);
  if (d != nullptr && i < d->args.size()) label += std::string(" (") + d->args[i].name + ")";
  return label;
}

std::vector<std::string> variable_names(const RoutineDescription* d, std::span<const Value* const> args) {
  if (d == nullptr || d->data_arg < 0) return {};
  const Matrix* x = matrix_arg(args, static_cast<size_t>(d->data_arg));
  if (x == nullptr) return {};
  if (d->report_prefix == nullptr) return x->colnames;
  std::vector<std::string> names;
  for (int64_t j = 0; j < x->cols; ++j) {
    const auto uj = static_cast<size_t>(j);
    const bool named = uj < x->colnames.size() && !x->colnames[uj].empty();
    names.push_back(named ? x->colnames[uj] : d->report_prefix + std::to_string(j + 1));
  }
  return names;
}

void name_result(const ResultDescription& r,
                 const std::vector<std::string>& variables,
                 const std::vector<std::string>& observations,
                 Matrix& m) {
  m.rownames = names_for(r.rows, m.rows, variables, observations);
  m.colnames = names_for(r.cols, m.cols, variables, observations);
}

}  // namespace robmat::host
