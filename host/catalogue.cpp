// The catalogue table is assembled from one include file per family of messages, so each
// engine's messages live beside each other; lookups use a sorted index built once.
#include "catalogue.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace robmat::host {
namespace {

const CatalogueEntry kEntries[] = {
#include "messages_host.inc"
#if __has_include("messages_options_reports.inc")
#include "messages_options_reports.inc"
#endif
#if __has_include("messages_mcd.inc")
#include "messages_mcd.inc"
#endif
#if __has_include("messages_lindep.inc")
#include "messages_lindep.inc"
#endif
#if __has_include("messages_regression.inc")
#include "messages_regression.inc"
#endif
#if __has_include("messages_flts.inc")
#include "messages_flts.inc"
#endif
#if __has_include("messages_mve.inc")
#include "messages_mve.inc"
#endif
};

const std::vector<const CatalogueEntry*>& index() {
  static const std::vector<const CatalogueEntry*> idx = [] {
    std::vector<const CatalogueEntry*> v;
    for (const auto& e : kEntries) v.push_back(&e);
    // Stable, so that when two families define one number the first definition wins.
    std::stable_sort(v.begin(), v.end(), [](const CatalogueEntry* a, const CatalogueEntry* b) {
      return a->set != b->set ? a->set < b->set : a->number < b->number;
    });
    return v;
  }();
  return idx;
}

}  // namespace

const CatalogueEntry* catalogue_find(int set, int number) {
  const auto& idx = index();
  auto it = std::lower_bound(
      idx.begin(), idx.end(), std::pair{set, number}, [](const CatalogueEntry* e, std::pair<int, int> k) {
        return e->set != k.first ? e->set < k.first : e->number < k.second;
      });
  if (it == idx.end() || (*it)->set != set || (*it)->number != number) return nullptr;
  return *it;
}

std::string catalogue_text(int set, int number, int* severity) {
  int sev = 3;
  const CatalogueEntry* e = catalogue_find(set, number);
  std::string text = e ? e->format : "message " + std::to_string(set) + "/" + std::to_string(number);
  if (e && text.size() >= 3 && text[0] == '%' && text[2] == 'z' && text[1] >= '1' && text[1] <= '3') {
    sev = text[1] - '0';
    text.erase(0, 3);
  }
  if (severity) *severity = sev;
  return text;
}

std::string catalogue_format(int set, int number, va_list ap, int* severity) {
  const std::string format = catalogue_text(set, number, severity);
  if (catalogue_find(set, number) == nullptr) return format;
  const char* fmt = format.c_str();
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
  return out;
}

std::string status_text(int status) {
  switch (status) {
    case 0:
      return "The call succeeded.";
    case 1:
      return "The work space or a result matrix could not be obtained.";
    case 6:
      return "An argument has the wrong shape.";
    case 13:
      return "An argument that must be numeric is not numeric.";
    case 17:
      return "An argument holds missing values where none are allowed.";
    case 19:
      return "A keyword argument is not a character value of 1 to 8 characters.";
    case 100:
      return "The output manager could not be created.";
    default:
      return "The call failed with status " + std::to_string(status) + ".";
  }
}

}  // namespace robmat::host
