// JSON items for values and output objects; numbers read back bit-exact.
#include "json_output.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>

namespace robmat::host {
namespace {

using json = nlohmann::ordered_json;

TEST(JsonOutput, NumbersRoundTripBitExact) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<uint64_t> bits;
  std::vector<double> values = {0.1, 1.0 / 3.0, -0.0, 5e-324, std::numeric_limits<double>::max()};
  while (values.size() < 2000) {
    const double v = std::bit_cast<double>(bits(rng));
    if (std::isfinite(v)) values.push_back(v);
  }
  for (double v : values) {
    const json back = json::parse(number_to_json(v).dump());
    ASSERT_EQ(std::bit_cast<uint64_t>(back.get<double>()), std::bit_cast<uint64_t>(v))
        << number_to_json(v).dump();
  }
  EXPECT_EQ(number_to_json(0.1).dump(), "0.1");
}

TEST(JsonOutput, SpecialNumbers) {
  EXPECT_EQ(number_to_json(missing()).dump(), "null");
  EXPECT_EQ(number_to_json(std::nan("")).dump(), "\"NaN\"");
  EXPECT_EQ(number_to_json(HUGE_VAL).dump(), "\"Inf\"");
  EXPECT_EQ(number_to_json(-HUGE_VAL).dump(), "\"-Inf\"");
}

TEST(JsonOutput, Items) {
  Matrix m(2, 2);
  m.data = {1, missing(), 2.5, -4};
  m.colnames = {"a", "b"};
  MatrixOutput mo{"MCDCov", "Covariance", "MCD", "sb", m, {"r1", "r2"}, {"a", "b"}, ""};
  TableOutput t{"Obs", "Observations", "", {{"Obs", 4, 0}, {"Name", 20, 5}}, {{1.0, std::string("x")}}, ""};
  std::ostringstream out;
  {
    JsonSink sink(out);
    sink.show_value("x", m);
    sink.show_value("", std::string("text"));
    sink.emit(TextLine{"Hello", 'c', true});
    sink.emit(mo);
    sink.emit(t);
    sink.log(LogEntry{LogEntry::Severity::kNote, "a note"});
    sink.error("t.rm:1:1: error: bad");
  }
  EXPECT_EQ(
      out.str(),
      "[\n"
      R"({"type":"value","name":"x","value":{"kind":"matrix","rows":2,"cols":2,"colnames":["a","b"],)"
      R"("data":[[1.0,null],[2.5,-4.0]]}},)"
      "\n"
      R"({"type":"value","name":"","value":{"kind":"character","text":"text"}},)"
      "\n"
      R"({"type":"text","text":"Hello","justify":"c","opens_section":true},)"
      "\n"
      R"({"type":"matrix","name":"MCDCov","label":"Covariance","title":"MCD","shape":"sb","rows":2,"cols":2,)"
      R"("rownames":["r1","r2"],"colnames":["a","b"],"data":[[1.0,null],[2.5,-4.0]]},)"
      "\n"
      R"({"type":"table","name":"Obs","label":"Observations","title":"","columns":[{"name":"Obs","type":"integer",)"
      R"("width":0},{"name":"Name","type":"character","width":5}],"rows":[[1.0,"x"]]},)"
      "\n"
      R"({"type":"log","severity":"note","text":"a note"},)"
      "\n"
      R"({"type":"error","text":"t.rm:1:1: error: bad"})"
      "\n]\n");
  EXPECT_TRUE(json::accept(out.str()));
}

TEST(JsonOutput, EmptyRunAndInvalidUtf8) {
  std::ostringstream empty, out;
  { JsonSink sink(empty); }
  EXPECT_EQ(empty.str(), "[]\n");
  JsonSink sink(out);
  EXPECT_NO_THROW(sink.show_value("x", std::string("bad \xff byte")));  // replaced, not thrown
  sink.finish();
  EXPECT_TRUE(json::accept(out.str()));
}

}  // namespace
}  // namespace robmat::host
