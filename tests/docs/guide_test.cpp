// The technician's guide cannot drift from the console: every picture it
// shows exists, and its troubleshooting table names exactly the codes the
// console can name.
#include "console/result_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#ifndef QUILLON_SOURCE_DIR
#error QUILLON_SOURCE_DIR must name the source tree
#endif

namespace {

std::string ReadFile(const std::string &unixPath) {
  std::ifstream in("Z:" + unixPath, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string &unixPath) { return std::ifstream("Z:" + unixPath, std::ios::binary).good(); }

std::string Narrow(const wchar_t *w) {
  std::string s;
  for (; *w; ++w)
    s += static_cast<char>(*w);
  return s;
}

// Every name the console shows for a code, blanks at the end taken off.
std::set<std::string> NamesTheConsoleShows() {
  std::set<std::string> names;
  for (long code = -1000; code <= 100000; ++code) {
    std::string name = Narrow(ResultCodeName(code));
    if (name == std::to_string(code)) continue; // an unnamed code, shown as a number
    name.erase(name.find_last_not_of(' ') + 1);
    names.insert(name);
  }
  return names;
}

// The names in the first column of the table under "## When a step fails".
std::set<std::string> NamesInTheTroubleshootingTable(const std::string &guide) {
  std::set<std::string> names;
  const size_t at = guide.find("\n## When a step fails");
  if (at == std::string::npos) return names;
  std::istringstream lines(guide.substr(at));
  const std::regex row(R"(^\| `([A-Z_]+)` \|)");
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, m, row)) names.insert(m[1]);
  return names;
}

TEST(Guide, EveryPictureItShowsExists) {
  const std::string source = QUILLON_SOURCE_DIR;
  // Markdown pictures and HTML ones (which can be shown smaller).
  const std::regex picture(R"re((?:!\[[^\]]*\]\(|<img src=")([^)"]+\.png))re");
  for (const char *doc : {"/docs/guide.md", "/README.md"}) {
    const std::string text = ReadFile(source + doc);
    ASSERT_FALSE(text.empty()) << doc << " could not be read";
    const std::string dir = source + std::string(doc).substr(0, std::string(doc).find_last_of('/') + 1);
    int pictures = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), picture), end; it != end; ++it, ++pictures)
      EXPECT_TRUE(Exists(dir + (*it)[1].str())) << doc << " shows " << (*it)[1] << ", which does not exist";
    EXPECT_GT(pictures, 0) << doc << " shows no picture";
  }
}

TEST(Guide, TroubleshootingTableNamesExactlyWhatTheConsoleCanShow) {
  const std::set<std::string> shown = NamesTheConsoleShows();
  ASSERT_EQ(shown.size(), 30u) << "0 to 4, 101 to 114, 301 to 307, 401 to 403 and 450";
  const std::set<std::string> table = NamesInTheTroubleshootingTable(ReadFile(QUILLON_SOURCE_DIR "/docs/guide.md"));
  for (const std::string &name : table)
    EXPECT_TRUE(shown.count(name)) << name << " is in the guide's table but the console never shows it";
  for (const std::string &name : shown)
    EXPECT_TRUE(table.count(name)) << name << " can be shown by the console but the guide's table lacks it";
}

} // namespace
