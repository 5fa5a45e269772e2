// Fake routines for language tests; see fake_backend.h.
#include "fake_backend.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

namespace robmat::testing {
namespace {

int64_t kinds(std::initializer_list<int> k) {
  int64_t bits = 0;
  int i = 0;
  for (int v : k) bits |= static_cast<int64_t>(v) << (3 * i++);
  return bits;
}

double median(std::vector<double> v) {
  if (v.empty()) return host::missing();
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

FakeBackend::FakeBackend() {
  routines_.push_back(host::RoutineInfo{"MAD", 1, 2, false, kinds({1, 2})});
  routines_.push_back(host::RoutineInfo{"LTS", 3, 3, true, kinds({1, 1, 1})});
  routines_.push_back(host::RoutineInfo{"FAIL", 1, 1, true, kinds({1})});
}

const host::RoutineInfo* FakeBackend::find(std::string_view name) const {
  for (const auto& r : routines_) {
    if (r.name.size() == name.size() && strncasecmp(r.name.data(), name.data(), name.size()) == 0) return &r;
  }
  return nullptr;
}

host::CallResult FakeBackend::call(std::string_view name, std::span<const host::Value* const> args) {
  calls.push_back(std::string(name) + "/" + std::to_string(args.size()));
  host::CallResult out;
  if (name == "MAD") {
    const auto& x = std::get<host::Matrix>(*args[0]);
    host::Matrix r(1, x.cols);
    r.colnames = x.colnames;
    for (int64_t j = 0; j < x.cols; ++j) {
      std::vector<double> col;
      for (int64_t i = 0; i < x.rows; ++i) {
        if (!host::is_missing(x.at(i, j))) col.push_back(x.at(i, j));
      }
      const double m = median(col);
      for (double& v : col) v = std::fabs(v - m);
      r.data[static_cast<size_t>(j)] = median(col);
    }
    out.results.push_back(std::move(r));
    out.log.push_back({host::LogEntry::Severity::kNote, "MAD: " + std::to_string(x.rows) + " observations"});
    return out;
  }
  if (name == "LTS") {
    const auto& y = std::get<host::Matrix>(*args[1]);
    const auto& x = std::get<host::Matrix>(*args[2]);
    if (y.rows != x.rows) throw host::Error("LTS: y and x need the same number of rows");
    host::Matrix sizes(1, 2);
    sizes.data = {static_cast<double>(y.rows), static_cast<double>(x.cols)};
    host::Matrix xty(x.cols, y.cols, 0.0);
    for (int64_t i = 0; i < x.rows; ++i) {
      for (int64_t j = 0; j < x.cols; ++j) {
        for (int64_t k = 0; k < y.cols; ++k) xty.at(j, k) += x.at(i, j) * y.at(i, k);
      }
    }
    if (sink) {
      sink->emit(host::TextLine{"Fake LTS", 'c', true});
      host::MatrixOutput mo;
      mo.name = "LTSSizes";
      mo.label = "Sizes";
      mo.shape = "rb";
      mo.values = sizes;
      mo.colnames = {"n", "p"};
      sink->emit(mo);
    }
    out.results = {sizes, xty, y};
    out.log.push_back({host::LogEntry::Severity::kNote, "LTS: done"});
    return out;
  }
  if (name == "FAIL") {
    out.log.push_back({host::LogEntry::Severity::kError, "FAIL: the data are bad"});
    throw host::RoutineError("routine FAIL ended with code 7", "FAIL", -1, 7);
  }
  throw host::Error("unknown routine " + std::string(name));
}

}  // namespace robmat::testing
