// How a routine declares its plots: each plot names a kind of picture (scatter, index, QQ,
// tolerance ellipse, strip) and the sources of its numbers (result rows, result values,
// arguments, derived quantities), cutoffs and labels. The drawing code reads only these
// records, so a new routine adds its plots by adding a table in declarations.cpp.
#pragma once

#include <span>
#include <string_view>

namespace robmat::host::plots {

// Where a plot's numbers come from. Rows, results and arguments are numbered from 1, as the
// routines' own documentation numbers them.
struct Source {
  enum class Kind {
    kNone,
    kResultRow,           // row `row` of result `result`: one value per observation (or column)
    kResultValue,         // element `row` of result `result` (a column vector such as a summary)
    kResultBlock,         // the square block of result `result` starting at row `row` (a scatter)
    kArgument,            // argument `argument`, a matrix
    kConstant,            // `value`
    kChiSquareCutoff,     // sqrt of the chi-square `value` quantile, df = columns of argument `argument`
    kFittedValues,        // x b: argument `argument` times the coefficients in row `row` of result `result`
    kRegressorDistances,  // robust distances of the columns of argument `argument`, by MCD
    kClassicalLocation,   // column means of argument `argument`
    kClassicalScatter,    // covariance matrix (divisor n - 1) of argument `argument`
    kOption,              // element `row` of the option vector (argument `argument`); `value`
                          // when it is absent, missing or not positive, as the routine reads it
  };
  Kind kind = Kind::kNone;
  int result = 0;
  int row = 0;
  int argument = 0;
  double value = 0;
};

constexpr Source result_row(int result, int row) { return {Source::Kind::kResultRow, result, row, 0, 0}; }
constexpr Source result_value(int result, int row) { return {Source::Kind::kResultValue, result, row, 0, 0}; }
constexpr Source result_block(int result, int row) { return {Source::Kind::kResultBlock, result, row, 0, 0}; }
constexpr Source argument(int k) { return {Source::Kind::kArgument, 0, 0, k, 0}; }
constexpr Source constant(double v) { return {Source::Kind::kConstant, 0, 0, 0, v}; }
constexpr Source chi_square_cutoff(double level, int data_argument) {
  return {Source::Kind::kChiSquareCutoff, 0, 0, data_argument, level};
}
constexpr Source fitted_values(int design_argument, int result, int coefficient_row) {
  return {Source::Kind::kFittedValues, result, coefficient_row, design_argument, 0};
}
constexpr Source regressor_distances(int design_argument) {
  return {Source::Kind::kRegressorDistances, 0, 0, design_argument, 0};
}
constexpr Source option(int option_argument, int position, double default_value) {
  return {Source::Kind::kOption, 0, position, option_argument, default_value};
}
constexpr Source classical_location(int data_argument) {
  return {Source::Kind::kClassicalLocation, 0, 0, data_argument, 0};
}
constexpr Source classical_scatter(int data_argument) {
  return {Source::Kind::kClassicalScatter, 0, 0, data_argument, 0};
}

enum class PlotKind {
  kScatter,           // y against x
  kIndex,             // y against the observation number
  kQuantile,          // ordered y against the quantiles of `quantiles`
  kToleranceEllipse,  // the two columns of `x`, with the `level` ellipses of two fits
  kStrip,             // each column of `x` as a strip, with centre +- `band` times `scale`
};

enum class Quantiles {
  kNormal,
  kChiSquareRoot,  // square roots of chi-square quantiles, df = columns of argument `df_argument`
};

// Text written over the regions that cutoffs divide a scatter into.
enum class Regions { kNone, kRegressionOutlierMap };

struct PlotDecl {
  std::string_view id;
  std::string_view title;
  PlotKind kind = PlotKind::kScatter;
  Source x{};
  Source y{};
  std::string_view x_label{};
  std::string_view y_label{};
  // Cutoff lines; an observation beyond one is flagged and labelled. Both sides: +-y_cutoff.
  Source x_cutoff{};
  Source y_cutoff{};
  bool y_both_sides = false;
  bool diagonal = false;  // the reference line y = x
  Regions regions = Regions::kNone;
  // QQ plots.
  Quantiles quantiles = Quantiles::kNormal;
  int df_argument = 0;
  // Tolerance ellipses: drawn only when x has exactly two columns.
  double level = 0.975;
  Source location{};
  Source scatter{};
  Source second_location{};
  Source second_scatter{};
  std::string_view first_fit{};
  std::string_view second_fit{};
  // Strip plots: the scale of each column and the argument that names the estimator.
  Source scale{};
  int method_argument = 0;
  double band = 2.5;
};

struct RoutinePlots {
  std::string_view routine;  // upper case
  std::span<const PlotDecl> plots;
};

std::span<const RoutinePlots> plot_declarations();

}  // namespace robmat::host::plots
