// Small helpers shared by the tests: a private scratch folder and byte-level file access.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "model/AM5_model.h"
#include "model/tree/AM_step.h"
#include "util/Ustrlib.h"

namespace zevrin::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("zevrin-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A test with a scratch folder of its own.
class InScratchDir : public ::testing::Test {
 protected:
  ScratchDir dir_;
};

// A progress window whose steps a test stops by setting `stop`.
class StoppableProgress : public ProgressWindow {
 public:
  void Show() override {}
  void Hide() override {}
  ProgressBar* MainBar() override { return &bar; }
  ProgressBar* SubBar() override { return nullptr; }
  const std::atomic<bool>* CancelFlag() override { return &stop; }
  BasicProgressBar bar;
  std::atomic<bool> stop{false};
};

// A step as the document session makes one: the sections of a model file, no bars shown, and
// its report to look at afterwards.
class Step : public StepContext {
 public:
  Step() { Sections = &ModelFileSections(); }
  explicit Step(Progress bars) : StepContext(bars) { Sections = &ModelFileSections(); }
  // The step itself, for a call that takes it from a temporary.
  Step& operator()() { return *this; }
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

// `bytes` as the buffer a file read gives, for the sessions that open bytes.
inline FileBuffer bufferOf(const std::string& bytes) {
  FileBuffer b;
  b.data.reset(new char[bytes.size() + 1]);
  std::memcpy(b.data.get(), bytes.data(), bytes.size());
  b.size = bytes.size();
  return b;
}

inline std::string readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Whether `actual` is exactly the golden file at `golden`. On a difference the actual bytes
// are kept beside it, as GOLDEN.actual, for a look with any diff tool.
inline ::testing::AssertionResult matchesGolden(const std::string& actual,
                                                const std::string& golden) {
  if (actual == readBytes(golden)) return ::testing::AssertionSuccess();
  const std::string kept = golden + ".actual";
  writeBytes(kept, actual);
  return ::testing::AssertionFailure()
         << "differs from " << golden << "; the output is in " << kept;
}

// Lines joined with CR LF after each, as the program writes files.
inline std::string crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

inline LineList lines(std::initializer_list<const char*> l) { return LineList(l.begin(), l.end()); }

}  // namespace zevrin::test
