// The plots of each routine, as data. A routine's plots are a table of PlotDecl: the kind of
// picture and which rows of which results (or which arguments) feed it. To give a new routine
// plots, add its table and a line in kRoutines; the drawing code needs no change.
#include "plots/declarations.h"

namespace robmat::host::plots {
namespace {

// MCD and MVE share their result layout: summary row 7 the cutoff (a distance), result 2
// the location (row 1) and the scatter (rows 3 to p + 2), result 3 the classical distances
// (row 1), the robust distances (row 2) and the weights (row 3); the data are argument 2.
constexpr PlotDecl kLocationScatterPlots[] = {
    {.id = "dd",
     .title = "Distance-distance plot",
     .kind = PlotKind::kScatter,
     .x = result_row(3, 1),
     .y = result_row(3, 2),
     .x_label = "Mahalanobis distance",
     .y_label = "Robust distance",
     .x_cutoff = result_value(1, 7),
     .y_cutoff = result_value(1, 7),
     .diagonal = true},
    {.id = "distances",
     .title = "Robust distances",
     .kind = PlotKind::kIndex,
     .y = result_row(3, 2),
     .x_label = "Observation",
     .y_label = "Robust distance",
     .y_cutoff = result_value(1, 7)},
    {.id = "qq",
     .title = "Chi-square QQ plot of the robust distances",
     .kind = PlotKind::kQuantile,
     .y = result_row(3, 2),
     .x_label = "Square root of the chi-square quantile",
     .y_label = "Robust distance",
     .y_cutoff = result_value(1, 7),
     .diagonal = true,
     .quantiles = Quantiles::kChiSquareRoot,
     .df_argument = 2},
    {.id = "ellipse",
     .title = "Tolerance ellipses (97.5 %)",
     .kind = PlotKind::kToleranceEllipse,
     .x = argument(2),
     .level = 0.975,
     .location = classical_location(2),
     .scatter = classical_scatter(2),
     .second_location = result_row(2, 1),
     .second_scatter = result_block(2, 3),
     .first_fit = "classical",
     .second_fit = "robust"},
};

// LMS and LTS: result 3 row 1 the 0/1 weights and row 2 the residuals of the robust fit
// divided by its final scale (summary row 7); result 2 row 1 the coefficients (the intercept
// last); the response is argument 2 and the regressors argument 3. Option 11 is the cutoff of
// the standardized residuals (2.5 by default).
constexpr PlotDecl kRegressionPlots[] = {
    {.id = "outlier-map",
     .title = "Regression outlier map",
     .kind = PlotKind::kScatter,
     .x = regressor_distances(3),
     .y = result_row(3, 2),
     .x_label = "Robust distance of the regressors",
     .y_label = "Standardized robust residual",
     .x_cutoff = chi_square_cutoff(0.975, 3),
     .y_cutoff = option(1, 11, 2.5),
     .y_both_sides = true,
     .regions = Regions::kRegressionOutlierMap},
    {.id = "residuals",
     .title = "Standardized residuals",
     .kind = PlotKind::kIndex,
     .y = result_row(3, 2),
     .x_label = "Observation",
     .y_label = "Standardized robust residual",
     .y_cutoff = option(1, 11, 2.5),
     .y_both_sides = true},
    {.id = "fitted",
     .title = "Residuals against fitted values",
     .kind = PlotKind::kScatter,
     .x = fitted_values(3, 2, 1),
     .y = result_row(3, 2),
     .x_label = "Fitted value",
     .y_label = "Standardized robust residual",
     .y_cutoff = option(1, 11, 2.5),
     .y_both_sides = true},
    {.id = "qq",
     .title = "Normal QQ plot of the standardized residuals",
     .kind = PlotKind::kQuantile,
     .y = result_row(3, 2),
     .x_label = "Standard normal quantile",
     .y_label = "Standardized robust residual",
     .y_cutoff = option(1, 11, 2.5),
     .y_both_sides = true,
     .diagonal = true,
     .quantiles = Quantiles::kNormal},
};

// MAD: one scale per column of argument 1, by the estimator that argument 2 names.
constexpr PlotDecl kScalePlots[] = {
    {.id = "strips",
     .title = "Columns with median and 2.5 scale bands",
     .kind = PlotKind::kStrip,
     .x = argument(1),
     .x_label = "Column",
     .y_label = "Value",
     .scale = result_row(1, 1),
     .method_argument = 2,
     .band = 2.5},
};

constexpr RoutinePlots kRoutines[] = {
    {"MAD", kScalePlots},
    {"MCD", kLocationScatterPlots},
    {"MVE", kLocationScatterPlots},
    {"LMS", kRegressionPlots},
    {"LTS", kRegressionPlots},
};

}  // namespace

std::span<const RoutinePlots> plot_declarations() { return kRoutines; }

}  // namespace robmat::host::plots
