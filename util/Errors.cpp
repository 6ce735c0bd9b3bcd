#include "util/Errors.h"

#include <string_view>

namespace zevrin {
namespace {

// Replaces the first "%s" or "%d" of `pattern` with `argument`.
std::string fill(std::string_view pattern, std::string_view argument) {
  auto pos = pattern.find("%s");
  if (pos == std::string_view::npos) pos = pattern.find("%d");
  if (pos == std::string_view::npos) return std::string(pattern);
  std::string out;
  out.reserve(pattern.size() + argument.size());
  out.append(pattern.substr(0, pos));
  out.append(argument);
  out.append(pattern.substr(pos + 2));
  return out;
}

}  // namespace

ZevrinError::ZevrinError(ErrorKind kind, std::string argument)
    : std::runtime_error(std::string()), kind_(kind), argument_(std::move(argument)) {
  // what() gives the English form, for code that only knows std::exception.
  static_cast<std::runtime_error&>(*this) = std::runtime_error(message(false));
}

std::string ZevrinError::message(bool japanese) const {
  switch (kind_) {
    case ErrorKind::NotInteger:
      return fill(japanese ? "'%s' は数値ではありません" : "'%s' is not an integer", argument_);
    case ErrorKind::NotReal:
      return fill(japanese ? "'%s' は浮動小数点数ではありません" : "'%s' is not a number",
                  argument_);
    case ErrorKind::IndexOutOfRange:
      return fill(japanese ? "リストのインデックスが範囲を超えています (%d)"
                           : "List index out of range (%d)",
                  argument_);
    case ErrorKind::RangeCheck:
      return japanese ? "範囲チェックエラー" : "Range check error";
    case ErrorKind::CannotOpen:
      return fill(japanese ? "ファイル %s は開けません" : "Cannot open file %s", argument_);
    case ErrorKind::CannotCreate:
      return fill(japanese ? "ファイル %s を作成できません" : "Cannot create file %s", argument_);
    case ErrorKind::CannotWrite:
      return fill(japanese ? "ファイル %s に書き込めません" : "Cannot write file %s", argument_);
    case ErrorKind::CannotRead:
      return fill(japanese ? "ファイル %s を読み込めません" : "Cannot read file %s", argument_);
    case ErrorKind::NestingTooDeep:
      return fill(japanese ? "セクションの入れ子が深すぎます (%d 段まで)"
                           : "Sections nested too deeply (at most %d levels)",
                  argument_);
    case ErrorKind::FileMissing:
      return japanese ? "Error:ファイルが存在しません！！" : "Error:File does not exist!!";
    case ErrorKind::WrongExtension:
      return japanese ? "Error:ファイル名の拡張子が違います！！" : "Error:filename Extension!!";
    case ErrorKind::FaceCorners:
      return fill(japanese ? "面の頂点は 1 個から 4 個までです (%d 個)"
                           : "A face must have one to four corners, not %d",
                  argument_);
    case ErrorKind::NoSuchRokLine:
      return fill(japanese ? "面が存在しない線 %d を指しています"
                           : "A face names line %d, which the file does not list",
                  argument_);
    case ErrorKind::NoSuchRokPoint:
      return fill(japanese ? "線が存在しない点 %d を指しています"
                           : "A line names point %d, which the file does not list",
                  argument_);
    case ErrorKind::TemplateNoMesh:
      return japanese ? "テンプレートモデルに MESH を含む MODEL がありません"
                      : "The template model has no MODEL section holding a MESH section";
    case ErrorKind::ImportFailed:
      return fill(
          japanese ? "ポリゴンファイルを読み込めません: %s" : "Cannot import the polygon file: %s",
          argument_);
    case ErrorKind::InsertsTooDeep:
      return fill(japanese ? "ブロックの挿入が深すぎるか循環しています (%d 段まで)"
                           : "Blocks are inserted too deeply or in a ring (at most %d levels)",
                  argument_);
    case ErrorKind::TooManyFaces:
      return fill(japanese ? "挿入されたブロックの面が多すぎます (%d 面まで)"
                           : "The inserted blocks give too many faces (at most %d)",
                  argument_);
    case ErrorKind::Cancelled:
      return japanese ? "処理を中止しました" : "Cancelled";
    case ErrorKind::ReaderTimeout:
      return fill(japanese ? "ポリゴンファイルの読み込みが %s 秒以内に終わりませんでした"
                           : "Reading the polygon file did not finish within %s s",
                  argument_);
    case ErrorKind::ReaderCrashed:
      return fill(japanese ? "ポリゴンファイルの読み込みプロセスが異常終了しました (%s)"
                           : "The polygon file reader crashed (%s)",
                  argument_);
    case ErrorKind::ReaderOutOfMemory:
      return fill(japanese ? "ポリゴンファイルの読み込みに %d MB を超えるメモリが必要です"
                           : "Reading the polygon file needs more than %d MB of memory",
                  argument_);
    case ErrorKind::ReaderBadAnswer:
      return fill(japanese ? "ポリゴンファイルの読み込みプロセスの応答が不正です (%d バイト目)"
                           : "The polygon file reader gave a malformed answer (at byte %d)",
                  argument_);
    case ErrorKind::ReaderExited:
      return fill(japanese
                      ? "ポリゴンファイルの読み込みプロセスが応答せずに終了しました (終了コード %d)"
                      : "The polygon file reader ended without an answer (exit status %d)",
                  argument_);
    case ErrorKind::ReaderMissing:
      return fill(japanese ? "ポリゴンファイルの読み込みプログラム %s がないか、起動できません"
                           : "The polygon file reader %s is missing or cannot be started",
                  argument_);
    case ErrorKind::PatchesTooTangled:
      return japanese ? "スプラインの交差が多すぎてパッチを求められません"
                      : "The splines cross each other too often to be read as patches";
    case ErrorKind::NoPatches:
      return japanese ? "書き出すパッチがありません (3 本か 4 本のスプラインで閉じた面がありません)"
                      : "Nothing to export: no three or four spline segments close a patch";
    case ErrorKind::ExportFailed:
      return fill(
          japanese ? "ポリゴンファイルを書き出せません: %s" : "Cannot export the polygon file: %s",
          argument_);
    case ErrorKind::TagNotClosed:
      return fill(japanese ? "<%s> が閉じられていません" : "<%s> is never closed", argument_);
    case ErrorKind::TagWrongClose:
      return fill(
          japanese ? "'%s' で閉じるセクションが開いていません" : "'%s' closes no open section",
          argument_);
    case ErrorKind::TagBadLine:
      return fill(japanese ? "'%s' はこのリストの行の形をしていません"
                           : "'%s' does not have the layout of the lines of its list",
                  argument_);
    case ErrorKind::TagNoSuchPoint:
      return fill(japanese ? "ID %d の制御点がありません" : "No control point has the id %d",
                  argument_);
    case ErrorKind::TagDuplicateId:
      return fill(japanese ? "ID %d の制御点が二つあります" : "Two control points have the id %d",
                  argument_);
    case ErrorKind::TagAttachRing:
      return fill(japanese ? "制御点 %d の接続が輪になっています"
                           : "The attachments of control point %d go round in a ring",
                  argument_);
    case ErrorKind::TagFromTagOnly:
      return japanese ? "タグ形式のモデルファイルはタグ形式でのみ保存できます"
                      : "A tag-format model file can be saved in the tag format only";
  }
  return {};
}

std::string ZevrinError::describe(bool japanese) const {
  std::string out;
  if (!file_.empty()) {
    out += file_;
    if (line_ > 0) {
      out += ':';
      out += std::to_string(line_);
    }
    out += ": ";
  }
  return out + message(japanese);
}

void throwIndexError(std::int64_t index) {
  throw ZevrinError(ErrorKind::IndexOutOfRange, std::to_string(index));
}

}  // namespace zevrin
