// Recursive-descent parser of the robmat language. Precedence from loosest to tightest: |, &,
// comparisons, ranges a:b:c, + -, * / .* ./, unary - + ~, .^, then postfix ' and (args). Chains
// of one precedence are read with loops, so a long line needs no deep recursion.
#pragma once

#include <vector>

#include "language/ast.h"
#include "language/source.h"

namespace robmat::lang {

// Parses a whole program; throws LanguageError at the first syntax error.
std::vector<Statement> parse(const SourceFile& source);

}  // namespace robmat::lang
