#include "cli/TermProgress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace zevrin::cli {
namespace {

void drawBar(std::string& out, int position) {
  constexpr int kWidth = 25;
  const int filled = position * kWidth / 100;
  out += '[';
  out.append(static_cast<std::size_t>(filled), '#');
  out.append(static_cast<std::size_t>(kWidth - filled), ' ');
  char pct[8];
  std::snprintf(pct, sizeof pct, "] %3d%%", position);
  out += pct;
}

}  // namespace

TermProgress::TermProgress(bool enabled)
    : enabled_(enabled && isatty(STDERR_FILENO) == 1), main_(*this), sub_(*this) {}

TermProgress::~TermProgress() { Hide(); }

void TermProgress::Show() {
  shown_ = true;
  last_main_ = last_sub_ = -1;
  Redraw();
}

void TermProgress::Hide() {
  if (shown_ && enabled_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}

void TermProgress::Redraw() {
  if (!shown_ || !enabled_) return;
  if (main_.Position() == last_main_ && sub_.Position() == last_sub_) return;
  last_main_ = main_.Position();
  last_sub_ = sub_.Position();
  std::string line = "\r";
  drawBar(line, last_main_);
  line += "  ";
  drawBar(line, last_sub_);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace zevrin::cli
