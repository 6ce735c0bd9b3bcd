// File names and their extensions in paths of the platform's own form: the file name is what
// follows the last separator the platform knows ("/", and on Windows "\" and a drive's ":").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zevrin {

// The position in `path` of the dot that begins its file name's extension (the last dot in
// the file name), or npos when the file name has none.
std::size_t ExtensionDot(std::string_view path);
// The extension with its dot (".mdl"), or the empty text.
std::string_view FileExtension(std::string_view path);
// Whether the file name's extension is `extension` (with its dot), ASCII case ignored.
bool HasExtension(std::string_view path, std::string_view extension);
// `path` with its file name's extension (if any) replaced by `extension`.
std::string ReplaceExtension(std::string_view path, std::string_view extension);
// The file name: what follows the last separator.
std::string_view FileNameOf(std::string_view path);

}  // namespace zevrin
