// What the tests of tag files share: the shipped files, and a session's document as saved.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session/Document.h"

namespace zevrin::test {

// The tag files of tests/data/tag, sorted by name.
inline std::vector<std::string> tagFiles() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(std::string(ZEVRIN_TEST_DATA) + "/tag"))
    if (e.path().extension() == ".mdl") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// The bytes the session's Save writes for its document.
inline std::string saved(const DocumentSession& session) {
  std::string out;
  EXPECT_TRUE(session.WriteDocument([&](const char* d, std::size_t n) {
    out.append(d, n);
    return true;
  }));
  return out;
}

}  // namespace zevrin::test
