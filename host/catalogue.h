// The host's message catalogue: our own wording for every message number the module uses,
// keyed by (set, number), each with a printf format matching the arguments the module passes.
#pragma once

#include <cstdarg>
#include <string>

namespace robmat::host {

struct CatalogueEntry {
  int set;
  int number;
  const char* format;  // may start with "%1z" (error) or "%2z" (warning); otherwise a note
};

// The entry for (set, number), or null.
const CatalogueEntry* catalogue_find(int set, int number);

// The text of a message as it stands in the catalogue, without its severity prefix (and
// without substituting arguments); "message SET/NUMBER" when unknown. `severity` may be null.
std::string catalogue_text(int set, int number, int* severity = nullptr);

// Formats a message with the arguments of a va_list. An unknown number renders as
// "message SET/NUMBER". `severity` receives 1 error, 2 warning, 3 note.
std::string catalogue_format(int set, int number, va_list ap, int* severity);

// Text of a host status code that a front end returned (xprrlog and call errors).
std::string status_text(int status);

}  // namespace robmat::host
