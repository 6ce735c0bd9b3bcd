// The sections of a tag file, the format of the modeller's later versions: "<NAME>" opens a
// section (a label may follow: "<BOOL> Hidden"), "</NAME>" closes it, and every other line is
// an item of the innermost open section. The lines are kept exactly as read, untrimmed, so that
// a file read and written back without an edit comes out byte for byte (CR LF after every
// line, as the modeller writes it). Consecutive items of a section are kept as one entry, their
// lines joined by CR LF: written as one line, they give the same bytes, and a file of tens of
// thousands of items holds a few thousand texts instead of one each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/tree/AM5_super.h"

namespace zevrin {

// The name of the section a tag line opens ("<BOOL> Hidden" opens BOOL), or empty when the
// line opens none (a closing line, an item).
std::string_view TagOpened(std::string_view line);
// The name a closing line "</NAME>" closes, or empty.
std::string_view TagClosed(std::string_view line);
// Whether `bytes` begin with the line "<MODELFILE>", which makes them a tag file whatever the
// file's name.
bool IsTagFileText(std::string_view bytes);

class TagSection : public M5amsuper {
 public:
  std::string Header;  // the opening line as read
  std::string Close;   // the closing line as read

  TagSection() = default;
  TagSection& operator=(const TagSection&) = delete;

  // The opening line, the items and child sections in file order, the closing line. Nested
  // sections are written without recursion.
  void Write(TextWriter& out) override;

  // The value of the first item "key=value" of this section itself (exact key), or none.
  std::optional<std::string_view> Value(std::string_view key) const;
  // The value of the item `line` when it is "key=value" (exact key), or none.
  static std::optional<std::string_view> ValueOf(std::string_view line, std::string_view key);

  // The reading errors that name a line: the section `name` opened at 0-based `header_index`
  // is never closed; the closing line `line` at 0-based `index` closes no open section.
  [[noreturn]] static void ThrowNotClosed(std::string_view name, std::int32_t header_index);
  [[noreturn]] static void ThrowWrongClose(std::string_view line, std::int32_t index);

  // Appends the item `line`, at 0-based `index`, to the items of `entries`.
  static void AddItem(std::vector<Entry>& entries, std::string_view line, std::int32_t index);
  // Calls f(line, index) for each item line of the entry `e` (none for a child), in order.
  template <class F>
  static void ForEachItem(const Entry& e, F&& f) {
    if (e.Child) return;
    std::string_view rest = e.Text;
    std::int32_t index = e.Line;
    for (;;) {
      const std::size_t end = rest.find("\r\n");
      f(rest.substr(0, end), index);
      if (end == std::string_view::npos) return;
      rest.remove_prefix(end + 2);
      if (index >= 0) ++index;
    }
  }
  // The item lines of `section`, in order, as views into its entries.
  static std::vector<std::string_view> ItemLines(const M5amsuper& section);
  // Replaces the items of `section` with the lines of `text`, joined by CR LF (`count` of
  // them: none, or one empty line, when `text` is empty); its child sections stay, after them.
  static void SetItemText(M5amsuper& section, std::string text, std::size_t count);
  // The first child section named `name`, or none.
  M5amsuper* ChildNamed(std::string_view name) const;

  // Writes `node` (a tag section or a node that writes itself) and everything below it, without
  // recursion through tag sections. `on_open` hears of every tag section as its opening line
  // is about to be written, with the writer's offset.
  static void WriteTree(TextWriter& out, M5amsuper& node,
                        void (*on_open)(void* context, const TagSection& section,
                                        const TagSection* parent, std::uint64_t offset) = nullptr,
                        void* context = nullptr);

  std::size_t OwnBytes() const override;

  // Shared with the sections that read their own lines (a mesh): makes the child section that
  // the opening line `line`, at 0-based `index`, begins inside `parent_name` (by
  // step.TagNodes, or a plain tag section) and reads it to its closing line, at nesting
  // `depth`.
  static std::unique_ptr<M5amsuper> ReadChild(std::string_view parent_name, std::string_view line,
                                              std::int32_t index, std::int32_t depth,
                                              LineSource& source, StepContext& step);

 protected:
  // Writes one item line of this section; the file overrides it for the line that holds an
  // offset.
  virtual void WriteItem(TextWriter& out, const std::string& text) { out.Line(text); }
  TagSection(const TagSection& other);
  std::unique_ptr<M5amsuper> CloneNode() const override;
  bool ReadsNestedSections() const override { return false; }
  // Reads the section's items and nested sections up to its closing line, without recursion:
  // sections that read their own lines (a mesh) are handed the rest of theirs. A section that
  // is never closed raises TagNotClosed at its opening line, a closing line of another section
  // TagWrongClose at that line, nesting beyond kMaxSectionDepth NestingTooDeep.
  void ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                 StepContext& step) override;
};

}  // namespace zevrin
