#include "util/FilePath.h"

#include <filesystem>

#include "util/Ustrlib.h"

namespace zevrin {
namespace {

// Where the file name begins: the library knows the platform's separators.
std::size_t nameBegin(std::string_view path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return name.size() <= path.size() ? path.size() - name.size() : 0;
}

}  // namespace

std::size_t ExtensionDot(std::string_view path) {
  const std::size_t begin = nameBegin(path);
  const std::size_t dot = path.rfind('.');
  return (dot == std::string_view::npos || dot < begin) ? std::string_view::npos : dot;
}

std::string_view FileExtension(std::string_view path) {
  const std::size_t dot = ExtensionDot(path);
  return dot == std::string_view::npos ? std::string_view() : path.substr(dot);
}

bool HasExtension(std::string_view path, std::string_view extension) {
  const std::size_t dot = ExtensionDot(path);
  return dot != std::string_view::npos && SameKeyword(path.substr(dot), extension);
}

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
  return std::string(path.substr(0, ExtensionDot(path))) + std::string(extension);
}

std::string_view FileNameOf(std::string_view path) { return path.substr(nameBegin(path)); }

}  // namespace zevrin
