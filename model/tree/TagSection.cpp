#include "model/tree/TagSection.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace zevrin {
namespace {

// A tag name: letters, digits and "_" (the files hold nothing else between the brackets).
bool isTagName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

// The node a tag file's section `name` inside `parent` becomes.
std::unique_ptr<M5amsuper> makeChild(std::string_view parent, std::string_view name,
                                     const StepContext& step) {
  std::unique_ptr<M5amsuper> child;
  if (step.TagNodes) child = step.TagNodes(parent, name);
  if (!child) child = std::make_unique<TagSection>();
  return child;
}

}  // namespace

std::string_view TagOpened(std::string_view line) {
  if (line.size() < 3 || line.front() != '<' || line[1] == '/') return {};
  const std::size_t end = line.find('>');
  if (end == std::string_view::npos) return {};
  // "<NAME>" alone, or followed by a space and a label.
  if (end + 1 < line.size() && line[end + 1] != ' ') return {};
  const std::string_view name = line.substr(1, end - 1);
  return isTagName(name) ? name : std::string_view();
}

std::string_view TagClosed(std::string_view line) {
  if (line.size() < 4 || line[0] != '<' || line[1] != '/' || line.back() != '>') return {};
  const std::string_view name = line.substr(2, line.size() - 3);
  return isTagName(name) ? name : std::string_view();
}

bool IsTagFileText(std::string_view bytes) {
  constexpr std::string_view kFirst = "<MODELFILE>";
  if (bytes.substr(0, kFirst.size()) != kFirst) return false;
  const std::string_view rest = bytes.substr(kFirst.size());
  return rest.empty() || rest.front() == '\r' || rest.front() == '\n';
}

TagSection::TagSection(const TagSection& other)
    : M5amsuper(other), Header(other.Header), Close(other.Close) {}

std::unique_ptr<M5amsuper> TagSection::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new TagSection(*this));
}

std::size_t TagSection::OwnBytes() const {
  std::size_t bytes = M5amsuper::OwnBytes() + HeapBytesOf(Header) + HeapBytesOf(Close);
  return bytes;
}

void TagSection::ThrowNotClosed(std::string_view name, std::int32_t header_index) {
  ZevrinError e(ErrorKind::TagNotClosed, std::string(name));
  e.setLine(header_index + 1);
  throw e;
}

void TagSection::ThrowWrongClose(std::string_view line, std::int32_t index) {
  ZevrinError e(ErrorKind::TagWrongClose, std::string(line));
  e.setLine(index + 1);
  throw e;
}

std::optional<std::string_view> TagSection::ValueOf(std::string_view line, std::string_view key) {
  if (line.size() <= key.size() || line[key.size()] != '=' || line.substr(0, key.size()) != key)
    return std::nullopt;
  return line.substr(key.size() + 1);
}

std::optional<std::string_view> TagSection::Value(std::string_view key) const {
  std::optional<std::string_view> found;
  for (const Entry& e : Entries) {
    ForEachItem(e, [&](std::string_view text, std::int32_t) {
      if (!found) found = ValueOf(text, key);
    });
    if (found) break;
  }
  return found;
}

void TagSection::AddItem(std::vector<Entry>& entries, std::string_view line, std::int32_t index) {
  if (!entries.empty() && !entries.back().Child && entries.back().Line >= 0) {
    std::string& block = entries.back().Text;
    block.append("\r\n").append(line);
    return;
  }
  entries.push_back(Entry{std::string(line), nullptr, index});
}

std::vector<std::string_view> TagSection::ItemLines(const M5amsuper& section) {
  std::vector<std::string_view> lines;
  for (const Entry& e : section.Entries)
    ForEachItem(e, [&](std::string_view line, std::int32_t) { lines.push_back(line); });
  return lines;
}

void TagSection::SetItemText(M5amsuper& section, std::string text, std::size_t count) {
  std::vector<Entry> entries;
  // One entry for the lot, as a reader keeps consecutive items.
  if (count > 0) entries.push_back(Entry{std::move(text), nullptr, -1});
  for (Entry& e : section.Entries)
    if (e.Child) entries.push_back(std::move(e));
  section.Entries = std::move(entries);
}

M5amsuper* TagSection::ChildNamed(std::string_view name) const {
  for (const Entry& e : Entries)
    if (e.Child && e.Child->Name == name) return e.Child.get();
  return nullptr;
}

std::unique_ptr<M5amsuper> TagSection::ReadChild(std::string_view parent_name,
                                                 std::string_view line, std::int32_t index,
                                                 std::int32_t depth, LineSource& source,
                                                 StepContext& step) {
  std::unique_ptr<M5amsuper> child = makeChild(parent_name, TagOpened(line), step);
  if (depth > kMaxSectionDepth) ThrowTooDeep(index);
  ReadDepthOf(*child) = depth;
  ReadLinesOf(*child, source, line, index, step);
  return child;
}

void TagSection::ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                           StepContext& step) {
  struct Open {
    TagSection* node;
    std::int32_t header;  // 0-based index of the opening line
  };
  std::vector<Open> open;
  const auto begin_section = [&](TagSection* node, std::string_view line, std::int32_t at) {
    node->Name = std::string(TagOpened(line));
    node->Header = std::string(line);
    if (static_cast<std::int32_t>(open.size()) + read_depth_ > kMaxSectionDepth) ThrowTooDeep(at);
    open.push_back({node, at});
  };

  // Items that follow each other in a file of CR LF lines lie in one run of its bytes, line
  // ends included: the run is taken whole, once, when the next tag line comes.
  struct Run {
    TagSection* node = nullptr;
    const char* begin = nullptr;
    const char* end = nullptr;
    std::int32_t line = 0;
  } run;
  const auto flush = [&] {
    if (!run.node) return;
    AddItem(run.node->Entries,
            std::string_view(run.begin, static_cast<std::size_t>(run.end - run.begin)), run.line);
    run.node = nullptr;
  };
  const auto item = [&](TagSection* node, std::string_view text, std::int32_t at) {
    const auto gap =
        reinterpret_cast<std::uintptr_t>(text.data()) - reinterpret_cast<std::uintptr_t>(run.end);
    if (run.node == node && gap == 2 && run.end[0] == '\r' && run.end[1] == '\n') {
      run.end = text.data() + text.size();
      return;
    }
    flush();
    run = {node, text.data(), text.data() + text.size(), at};
  };

  begin_section(this, header, header_index);
  std::string_view line;
  while (!open.empty()) {
    Open& top = open.back();
    const std::int64_t i = source.Index();
    if (!source.Next(line)) ThrowNotClosed(top.node->Name, top.header);
    const auto index = static_cast<std::int32_t>(i);
    // Most lines are items: they are told by their first byte.
    if (line.empty() || line.front() != '<') {
      item(top.node, line, index);
      continue;
    }
    flush();
    if (const std::string_view closed = TagClosed(line); !closed.empty()) {
      if (closed != top.node->Name) ThrowWrongClose(line, index);
      TagSection* finished = top.node;
      finished->Close = std::string(line);
      open.pop_back();
      FinishReadOf(*finished, step);
      continue;
    }
    const std::string_view name = TagOpened(line);
    if (name.empty()) {
      item(top.node, line, index);
      continue;
    }
    std::unique_ptr<M5amsuper> child = makeChild(top.node->Name, name, step);
    M5amsuper* c = child.get();
    top.node->Entries.push_back(Entry{std::string(), std::move(child), index});
    auto* tag = dynamic_cast<TagSection*>(c);
    if (tag) {
      begin_section(tag, line, index);
    } else {
      const auto depth = static_cast<std::int32_t>(open.size()) + read_depth_;
      if (depth + 1 > kMaxSectionDepth) ThrowTooDeep(index);
      ReadDepthOf(*c) = depth;
      ReadLinesOf(*c, source, line, index, step);
    }
  }
}

void TagSection::Write(TextWriter& out) { WriteTree(out, *this); }

void TagSection::WriteTree(TextWriter& out, M5amsuper& node,
                           void (*on_open)(void*, const TagSection&, const TagSection*,
                                           std::uint64_t),
                           void* context) {
  auto* root = dynamic_cast<TagSection*>(&node);
  if (!root) {
    node.Write(out);
    return;
  }
  struct Open {
    TagSection* node;
    std::size_t next;
  };
  std::vector<Open> open;
  const auto begin = [&](TagSection* s, const TagSection* parent) {
    if (on_open) on_open(context, *s, parent, out.Offset());
    out.Line(s->Header);
    open.push_back({s, 0});
  };
  begin(root, nullptr);
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.node->Entries.size()) {
      out.Line(top.node->Close);
      open.pop_back();
      continue;
    }
    Entry& e = top.node->Entries[top.next++];
    if (!e.Child) {
      top.node->WriteItem(out, e.Text);
      continue;
    }
    auto* tag = dynamic_cast<TagSection*>(e.Child.get());
    if (tag) {
      begin(tag, top.node);
    } else {
      e.Child->Write(out);
    }
  }
}

}  // namespace zevrin
