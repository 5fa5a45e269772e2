// The message catalogue against the module's sources: every number the module names (the
// enumerators of its *Message enums, the label and title numbers of its matrices, the
// *Label and *Title constants of its report files) has a text of ours, so no reachable path shows a bare
// "message 549/N". Read from the sources, so a number added later is checked without a test
// change.
#include "catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

std::set<std::pair<int, int>> numbers_named_in_module() {
  std::set<std::pair<int, int>> out;
  const std::regex message_enum(R"(enum\s+\w*Message\s*:\s*int\s*\{([^}]*)\})");
  const std::regex enumerator(R"(=\s*(\d+))");
  const std::regex matrix_id(R"(MatrixId\s+k\w+\{"[^"]*",\s*(\d+),\s*(\d+)\})");
  // A report constant of set 0 says so in a comment on its line.
  const std::regex report_constant(R"(constexpr\s+int\s+k\w*(?:Label|Title)\w*\s*=\s*(\d+);([^\n]*))");
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(std::string(ROBMAT_SOURCE_DIR) + "/module")) {
    const std::string path = entry.path().string();
    if (!entry.is_regular_file() || (!path.ends_with(".cpp") && !path.ends_with(".h"))) continue;
    std::ifstream in(path);
    std::stringstream buf;
    buf << in.rdbuf();
    const std::string text = buf.str();
    for (std::sregex_iterator m(text.begin(), text.end(), message_enum), end; m != end; ++m) {
      const std::string body = std::regex_replace(std::string((*m)[1]), std::regex("//[^\n]*"), "");
      for (std::sregex_iterator e(body.begin(), body.end(), enumerator); e != end; ++e)
        out.insert({549, std::stoi((*e)[1])});
    }
    for (std::sregex_iterator m(text.begin(), text.end(), matrix_id), end; m != end; ++m) {
      out.insert({0, std::stoi((*m)[1])});
      if (std::stoi((*m)[2]) != 0) out.insert({0, std::stoi((*m)[2])});  // 0: no title
    }
    if (path.find("report") != std::string::npos)
      for (std::sregex_iterator m(text.begin(), text.end(), report_constant), end; m != end; ++m)
        out.insert({std::string((*m)[2]).find("set 0") != std::string::npos ? 0 : 549, std::stoi((*m)[1])});
  }
  return out;
}

TEST(Catalogue, EveryNumberTheModuleNamesHasOurText) {
  const auto numbers = numbers_named_in_module();
  // The MCD engine alone names more than fifty; fewer means the scan lost its way.
  EXPECT_GT(numbers.size(), 60u);
  std::string missing;
  for (const auto& [set, number] : numbers)
    if (robmat::host::catalogue_find(set, number) == nullptr)
      missing += " " + std::to_string(set) + "/" + std::to_string(number);
  EXPECT_EQ(missing, "") << "numbers without a catalogue text";
}

}  // namespace
