// The host's layouts for the module's printed outputs, selected by template name
// ("Base.NLP." and the output name). Every output name the module prints has an entry;
// an unknown template falls back to the layout its shape suggests, so nothing is dropped.
#pragma once

#include <span>
#include <string_view>

namespace robmat::host {

enum class LayoutKind {
  kRow,     // one row of values under their column names, no row label (locations, subsets)
  kMatrix,  // row and column labels (scatter, correlation, per-variable statistics)
  kTable,   // a row table with its column headers
};

struct Layout {
  std::string_view name;  // output name, without the "Base.NLP." prefix
  LayoutKind kind;
};

// The layout of a template name "Base.NLP.<name>" (or of a bare output name); null if unknown.
const Layout* find_layout(std::string_view template_name);

std::span<const Layout> all_layouts();

}  // namespace robmat::host
