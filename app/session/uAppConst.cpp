#include "app/session/uAppConst.h"

#include <cstdlib>
#include <string_view>

namespace zevrin {

bool JapaneseFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string_view(value).starts_with("ja");
  }
  return false;
}

std::string StatusOpened(bool japanese, const std::string& file) {
  return japanese ? file + " を読み込みました。" : "Opend " + file;
}

std::string StatusSaved(bool japanese, const std::string& file) {
  return japanese ? file + "へ上書き保存しました" : "Saved as " + file;
}

std::string StatusSavedAs(bool japanese, const std::string& file) {
  return japanese ? file + "へ保存しました" : "Saved " + file;
}

std::string StatusBoneMirrored(bool japanese) {
  return japanese ? "Bornを反転コピーしました。" : "Born Mirrored";
}

std::string StatusHalvejoined(bool japanese, const std::string& file) {
  return japanese ? file + " をHalvejoinしました。" : "Halvejoined " + file;
}

std::string StatusConnected(bool japanese, const std::string& file) {
  return japanese ? file + " グループ内のスプラインを接続しました。" : "Connected!! " + file;
}

std::string StatusAttached(bool japanese) {
  return japanese ? "座標が同じCPををAttachしました。" : "Attached";
}

std::string StatusDetached(bool japanese) {
  return japanese ? "AttachしているCPをDetachしました。" : "Detached";
}

}  // namespace zevrin
