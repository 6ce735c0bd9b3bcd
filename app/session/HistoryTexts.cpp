#include "app/session/HistoryTexts.h"

#include "util/FilePath.h"

namespace zevrin {
namespace {

std::string pick(bool ja, const char* japanese, const char* english) {
  return ja ? japanese : english;
}

std::string megabytes(std::size_t bytes) { return std::to_string(bytes >> 20); }

}  // namespace

std::string WithoutMarks(std::string_view caption) {
  std::string out;
  out.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char c = caption[i];
    if (c == '(' && i + 3 < caption.size() && caption[i + 1] == '&' && caption[i + 3] == ')') {
      i += 3;  // "(&U)": the Japanese way of showing the key
    } else if (c == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
    } else {
      out += c;
    }
  }
  return out;
}

std::string EditName(std::string_view caption) {
  std::string name;
  for (const char c : caption)
    if (c != '&') name += c;
  return name;
}

std::string UndoItem(bool ja, const std::string& edit) {
  if (edit.empty()) return pick(ja, "元に戻す(&U)", "&Undo");
  return ja ? "元に戻す(&U): " + edit : "&Undo " + edit;
}

std::string RedoItem(bool ja, const std::string& edit) {
  if (edit.empty()) return pick(ja, "やり直し(&R)", "&Redo");
  return ja ? "やり直し(&R): " + edit : "&Redo " + edit;
}

std::string Undone(bool ja, const std::string& edit) {
  return ja ? edit + " を元に戻しました。" : "Undid " + edit;
}

std::string Redone(bool ja, const std::string& edit) {
  return ja ? edit + " をやり直しました。" : "Redid " + edit;
}

std::string Cancelled(bool ja) {
  return pick(ja, "中止しました。ドキュメントは元のままです。",
              "Cancelled; the document is as it was.");
}

std::string SaveChangesTitle(bool ja) { return pick(ja, "変更の保存", "Save Changes"); }

std::string SaveChanges(bool ja, const std::string& file) {
  const std::string name(FileNameOf(file));
  return ja ? name + " は変更されています。変更を保存しますか?"
            : name + " has been changed. Save the changes?";
}

std::string SaveButton(bool ja) { return pick(ja, "保存する(&S)", "&Save"); }
std::string DiscardButton(bool ja) { return pick(ja, "保存しない(&N)", "&Don't Save"); }
std::string CancelButton(bool ja) { return pick(ja, "キャンセル", "Cancel"); }

std::string AlreadyWholeTitle(bool) { return "Halvejoin"; }

std::string AlreadyWhole(bool ja) {
  return pick(ja,
              "このモデルには X=0 平面の両側に点があります。Halvejoin すると鏡像が元の点に"
              "重なり、点とスプラインが倍になります。続けますか?",
              "This model already has points on both sides of X = 0. Halvejoin would mirror "
              "them onto each other and double the points and splines. Halvejoin anyway?");
}

std::string OldestStepsDropped(bool ja, std::int32_t steps, std::size_t budget_bytes) {
  const std::string n = std::to_string(steps);
  return ja ? "元に戻せる操作の上限 (" + megabytes(budget_bytes) + " MB) を超えたため、古い " + n +
                  " 件を破棄しました"
            : "Undo limit (" + megabytes(budget_bytes) + " MB): the oldest " + n +
                  " step(s) dropped";
}

std::string StepNotKept(bool ja, std::size_t budget_bytes) {
  return ja ? "モデルが元に戻せる操作の上限 (" + megabytes(budget_bytes) +
                  " MB) より大きいため、元に戻せません"
            : "Cannot be undone: the model exceeds the undo limit (" + megabytes(budget_bytes) +
                  " MB)";
}

std::string Title(const std::string& caption, const std::string& file, bool modified) {
  if (file.empty()) return caption;
  return caption + " - " + std::string(FileNameOf(file)) + (modified ? " *" : "");
}

}  // namespace zevrin
