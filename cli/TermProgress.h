// The two progress bars of a long command, drawn on one line of the terminal's standard
// error. Nothing is drawn when standard error is not a terminal or the user asked for quiet.
#pragma once

#include <cstdint>

#include "app/session/Document.h"
#include "model/tree/AM_const.h"

namespace zevrin::cli {

class TermProgress : public ProgressWindow {
 public:
  explicit TermProgress(bool enabled);
  ~TermProgress() override;
  TermProgress(const TermProgress&) = delete;
  TermProgress& operator=(const TermProgress&) = delete;

  void Show() override;
  void Hide() override;
  ProgressBar* MainBar() override { return &main_; }
  ProgressBar* SubBar() override { return &sub_; }

 private:
  class Bar : public BasicProgressBar {
   public:
    explicit Bar(TermProgress& owner) : owner_(owner) {}

   protected:
    void Changed() override { owner_.Redraw(); }

   private:
    TermProgress& owner_;
  };

  void Redraw();

  bool enabled_;
  bool shown_ = false;
  int last_main_ = -1;
  int last_sub_ = -1;
  Bar main_;
  Bar sub_;
};

}  // namespace zevrin::cli
