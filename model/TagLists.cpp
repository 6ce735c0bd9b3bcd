#include "model/TagLists.h"

#include <array>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "model/TagModel.h"
#include "model/tree/TagSection.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

// Which words of a list's lines are point ids.
struct ListKind {
  std::array<std::uint8_t, 4> Words{};
  std::uint8_t Count = 0;
  bool PointSet = false;  // names each point once
  bool GainsCopies = false;
};

constexpr ListKind kFirstWord{{0}, 1, false, false};
constexpr ListKind kPointSet{{0}, 1, true, false};
constexpr ListKind kGroupPoints{{0}, 1, true, true};
constexpr ListKind kStampCorners{{1, 2, 3, 4}, 4, false, false};
constexpr ListKind kTwoWords{{0, 1}, 2, false, false};

// The list a section is, by its name and its parent's; none for any other section.
const ListKind* kindOf(std::string_view parent, std::string_view name) {
  if (name == "NONSKINNEDCPS" || name == "WEIGHTEDCPS") return &kPointSet;
  if (name == "CPS" && parent == "GROUP") return &kGroupPoints;
  // A decal's stamp: flags, the four corners of the patch it lies on, then coordinates.
  if (name == "DATA" && parent == "STAMP") return &kStampCorners;
  // A pose's channels, one point a line: the point first (and, for a muscle channel, the
  // point it is keyed to second).
  if (name == "COMPACTRELATIONMUSCLECHANNELS") return &kFirstWord;
  if (name == "COMPACTMUSCLECHANNELS") return &kTwoWords;
  return nullptr;
}

struct Word {
  std::size_t at = 0;
  std::size_t size = 0;
};

// The first `count` words of `line`; false when it has fewer.
bool wordsOf(std::string_view line, std::size_t count, std::array<Word, 5>& words) {
  std::size_t p = 0;
  for (std::size_t k = 0; k < count; ++k) {
    while (p < line.size() && line[p] == ' ') ++p;
    if (p == line.size()) return false;
    std::size_t q = p;
    while (q < line.size() && line[q] != ' ') ++q;
    words[k] = {p, q - p};
    p = q;
  }
  return true;
}

bool parseId(std::string_view text, std::int32_t& id) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  return error == std::errc() && end == text.data() + text.size();
}

class ListRewriter {
 public:
  explicit ListRewriter(const TagListEdit& edit) : edit_(edit) {}

  std::int64_t LeftOut() const { return left_out_; }

  void Rewrite(M5amsuper& section, const ListKind& kind) {
    std::string text;
    std::size_t count = 0;
    std::vector<std::int32_t> copies;
    const bool merge = kind.PointSet && edit_.MergeRepeats;
    FlatHash<char> seen(merge ? 64 : 0);
    bool changed = false;
    const auto newLine = [&] {
      if (count++ > 0) text += "\r\n";
    };
    const auto put = [&](std::string_view line) {
      newLine();
      text += line;
    };
    std::array<Word, 5> words;
    for (const Entry& e : section.Entries)
      TagSection::ForEachItem(e, [&](std::string_view line, std::int32_t) {
        std::int32_t ids[4] = {};
        bool readable = wordsOf(line, std::size_t{kind.Words[kind.Count - 1]} + 1, words);
        for (std::size_t k = 0; readable && k < kind.Count; ++k) {
          const Word& w = words[kind.Words[k]];
          readable = parseId(line.substr(w.at, w.size), ids[k]);
        }
        if (!readable) {
          // Not a list line this program understands: it stays as it was.
          put(line);
          return;
        }
        std::int32_t now[4] = {};
        bool renamed = false;
        for (std::size_t k = 0; k < kind.Count; ++k) {
          const std::int32_t* to = edit_.To.Find(ids[k]);
          if (!to) {
            ++left_out_;
            changed = true;
            return;
          }
          now[k] = *to;
          renamed |= now[k] != ids[k];
        }
        if (merge && !seen.TryEmplace(IdKey(now[0]), 1).second) {
          changed = true;
          return;
        }
        if (kind.GainsCopies && edit_.GroupCopies)
          if (const std::int32_t* copy = edit_.GroupCopies->Find(now[0])) copies.push_back(*copy);
        if (!renamed) {
          put(line);
          return;
        }
        changed = true;
        newLine();
        std::size_t from = 0;
        for (std::size_t k = 0; k < kind.Count; ++k) {
          const Word& w = words[kind.Words[k]];
          text.append(line.substr(from, w.at - from));
          AppendInt(text, now[k]);
          from = w.at + w.size;
        }
        text.append(line.substr(from));
      });
    for (const std::int32_t copy : copies) {
      if (merge && !seen.TryEmplace(IdKey(copy), 1).second) continue;
      newLine();
      AppendInt(text, copy);
      changed = true;
    }
    if (changed) TagSection::SetItemText(section, std::move(text), count);
  }

 private:
  const TagListEdit& edit_;
  std::int64_t left_out_ = 0;
};

}  // namespace

std::int64_t RemapTagLists(TagModel& model, const TagListEdit& edit) {
  ListRewriter rewriter(edit);
  for (Entry& e : model.Entries)
    if (e.Child)
      if (const ListKind* kind = kindOf(model.Name, e.Child->Name))
        rewriter.Rewrite(*e.Child, *kind);
  WalkTree(static_cast<M5amsuper&>(model), [&](M5amsuper& node) {
    if (dynamic_cast<TagMesh*>(&node)) return WalkOn::Over;
    for (Entry& e : node.Entries) {
      if (!e.Child) continue;
      if (const ListKind* kind = kindOf(node.Name, e.Child->Name))
        rewriter.Rewrite(*e.Child, *kind);
    }
    return WalkOn::Into;
  });
  return rewriter.LeftOut();
}

}  // namespace zevrin
