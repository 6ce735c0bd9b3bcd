// The section tree of a model file: the base node of every section and the file's section
// grammar. A section opens with "[NAME]" and closes with "[ENDNAME]"; between them stand plain
// lines and nested sections, kept in file order so that a file read and written back without
// an edit comes out as its trimmed lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/tree/AM_common.h"
#include "model/tree/AM_step.h"
#include "util/Errors.h"
#include "util/TextWriter.h"

namespace zevrin {

class M5amsuper;
struct MirrorSettings;  // how Mirror bone names its copies

// Every node of a subtree that was copied, mapped to its copy.
using CloneMap = std::unordered_map<const M5amsuper*, M5amsuper*>;

// What a block of `size` bytes from the heap costs, its bookkeeping included (an estimate of
// the common allocators: 8 bytes of header, 16-byte granules, 32 at least).
constexpr std::size_t HeapBytes(std::size_t size) {
  const std::size_t block = (size + 8 + 15) / 16 * 16;
  return block < 32 ? 32 : block;
}
// The heap bytes behind a string (none while it fits in the string itself).
std::size_t HeapBytesOf(const std::string& text);
// About how much memory the subtree under `root` holds, `root` included.
std::size_t HeldBytes(const M5amsuper& root);

// One line or one child section of a node, in file order.
struct Entry {
  std::string Text;                  // the trimmed line; empty for a child
  std::unique_ptr<M5amsuper> Child;  // owned child section, or none for a plain line
  std::int32_t Line = -1;            // 0-based index in the file read; -1 when made in memory
};

// Sections nested deeper than this are refused while reading, so that no walk over the tree
// can exhaust the stack. Real files nest fewer than 20 levels. WebAssembly runs on the
// JavaScript engine's stack, which a browser's worker does not let grow: a walk 10000 levels
// deep overflows it there, 5000 does not.
#if defined(__EMSCRIPTEN__)
inline constexpr std::int32_t kMaxSectionDepth = 4000;
#else
inline constexpr std::int32_t kMaxSectionDepth = 10000;
#endif

class M5amsuper : public Mamcommon {
 public:
  M5amsuper() = default;
  M5amsuper& operator=(const M5amsuper&) = delete;
  // Destroys the subtree without recursion, the last entry first.
  ~M5amsuper() override;

  std::string Name;
  std::vector<Entry> Entries;
  Vec3 BoundsMin;
  Vec3 BoundsMax;

  // Reads the section at `start` and everything nested in it. Nesting is walked without
  // recursion; each finished section runs its FinishRead. A missing end line raises the index
  // error (at the header of the innermost open section); nesting deeper than
  // kMaxSectionDepth raises ErrorKind::NestingTooDeep. On an error, every child read so far is
  // already an entry of its parent.
  // The children are made by step.Sections.
  std::int32_t ReadSection(const LineList& lines, std::int32_t start, StepContext& step) final;
  // The same for lines taken one after another from `source`, whose next line is the header
  // (a model file is read this way straight from its bytes); returns the index after the
  // section's end line.
  std::int32_t ReadFrom(LineSource& source, StepContext& step);
  // Appends the section's lines; Write does the work.
  void WriteSection(LineList& lines) final;
  // Writes the section's lines, in file order.
  virtual void Write(TextWriter& out);
  void Halvejoin(double tolerance, StepContext& step) override;
  double GetBound(std::uint32_t index) override;
  void Draw(Mscreen& view) override;
  void ConnectGroupedSplines(StepContext& step) override;

  // The box of the first model in the subtree, in file order; false when there is none.
  virtual bool GetBounds(Vec3& min, Vec3& max);
  virtual void ImportPolygons(Mpolycommon& polygons, StepContext& step);
  virtual void AttachAll(StepContext& step);
  virtual void DetachAll(StepContext& step);
  // Containers insert their children's mirrored bones before their last bone and return none.
  virtual std::unique_ptr<M5amsuper> MirrorBone(double tolerance, const MirrorSettings& rule);
  // Whether the node is a model (of either file format), which answers for its own box.
  bool IsModel() const { return IsModelNode(); }
  // Whether Halvejoin marked this node to write nothing.
  virtual bool IsSuppressed() const { return false; }

  // A copy of the whole subtree that every later read, write, edit and drawing treats as this
  // one: the marks no file holds (suppressed sections, mirrored bones and points, resolved
  // attachments, flipped hooks) included. Walks without recursion. An undo keeps the document
  // this way, since a written file loses those marks.
  std::unique_ptr<M5amsuper> Clone() const;
  // About how much memory the node holds itself, its child sections left out.
  virtual std::size_t OwnBytes() const;

  // Raise, before anything changes, the errors that Halvejoin or Connect grouped splines would
  // otherwise meet part way through the tree, so that a failed edit leaves the document as it
  // was. Each follows the walk of its edit: the base versions ask the children.
  virtual void CheckHalvejoin();
  virtual void CheckConnect();

  void AddChild(std::unique_ptr<M5amsuper> child);
  void AddLine(std::string text);

 protected:
  // Copies the node's own fields and no entries: the start of a clone.
  M5amsuper(const M5amsuper& other);
  // The same onto a node made otherwise.
  void CopyNodeFrom(const M5amsuper& other);
  // A copy of this node without its entries; every class overrides it with its own copy.
  virtual std::unique_ptr<M5amsuper> CloneNode() const;
  // Called on each copy once the whole subtree is copied, to point the links that do not own
  // (a model's mesh and groups) at the copies.
  virtual void RelinkClone(const CloneMap& /*copies*/) {}

  // Runs once the section's own lines and children have been read: interpreting nodes
  // override it and call this version first. The base refreshes the box from the subtree.
  virtual void FinishRead(StepContext& step);
  // Nodes whose reader takes its lines on its own, without nesting sections, return false;
  // the tree reader then hands them the rest of the section through ReadLines.
  virtual bool ReadsNestedSections() const { return true; }
  // Reads the rest of the section whose trimmed header line `header`, at 0-based
  // `header_index`, was just taken from `source`; the tree reader itself for the base.
  virtual void ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                         StepContext& step);
  // Takes, in file order, each trimmed line read inside this section (`child` none) and each
  // child section as it begins (`text` empty); the base files them as entries. The text is a
  // view of the file being read and lives only as long as the read.
  virtual void TakeEntry(std::string_view text, std::unique_ptr<M5amsuper> child,
                         std::int32_t line);
  // Model nodes answer GetBounds with their own box.
  virtual bool IsModelNode() const { return false; }

  // Shared by the tree reader and the readers of their own: the section name of a trimmed
  // header line (without its first and last byte, whatever they are), and the errors for a
  // missing end line (the reader ran to `index`; the open section's header is at
  // `header_index`) and for nesting beyond kMaxSectionDepth.
  static std::string SectionNameOf(std::string_view trimmed_header);
  [[noreturn]] static void ThrowMissingEnd(std::int64_t index, std::int32_t header_index);
  [[noreturn]] static void ThrowTooDeep(std::int32_t header_index);

  // For the readers of other formats built on this tree: the same steps on another node.
  static void ReadLinesOf(M5amsuper& node, LineSource& source, std::string_view header,
                          std::int32_t header_index, StepContext& step) {
    node.ReadLines(source, header, header_index, step);
  }
  static void FinishReadOf(M5amsuper& node, StepContext& step) { node.FinishRead(step); }
  static std::int32_t& ReadDepthOf(M5amsuper& node) { return node.read_depth_; }

  // Nesting level at which this node's section starts (the root's is 1). The tree reader sets
  // it before it hands a section to a reader of its own, which must keep the whole nesting
  // within kMaxSectionDepth.
  std::int32_t read_depth_ = 1;

  // Runs `f`, giving an error that knows no line yet the 1-based line of `line_index`.
  template <class F>
  static auto AtLine(std::int32_t line_index, F&& f) -> decltype(f());

 private:
  // Whether a model lies in this subtree, as found when its reading finished.
  bool read_model_below_ = false;
};

// How a walk over the tree goes on after a node.
enum class WalkOn { Into, Over, Stop };

// Visits every node below `root` (not `root` itself) in file order, a node before its
// children, without recursion: a file may nest its sections as deep as the reader allows.
// `visit(node)` says whether to go into the node's children, past them, or to stop.
template <class Node, class Visit>
void WalkTree(Node& root, Visit&& visit) {
  struct Open {
    Node* node;
    std::size_t next;
  };
  std::vector<Open> open{{&root, 0}};
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.node->Entries.size()) {
      open.pop_back();
      continue;
    }
    Node* child = top.node->Entries[top.next++].Child.get();
    if (!child) continue;
    switch (visit(*child)) {
      case WalkOn::Into:
        open.push_back({child, 0});
        break;
      case WalkOn::Over:
        break;
      case WalkOn::Stop:
        return;
    }
  }
}

// The node class a reader makes for each section header (the whole trimmed line, ASCII case
// ignored). The table starts with the section tree's own classes: "[MODELFILE]" and
// "[OBJECTS]" are plain containers, "[MATERIALS]", "[PATCHS]", "[ACTIONS]" and
// "[CHOREOGRAPHIES]" sections lose their child sections to Halvejoin, and any other header
// makes a section that is kept as read. The layers that define the interpreting classes add
// them (the model's table: ModelFileSections()).
class SectionTable {
 public:
  using Maker = std::unique_ptr<M5amsuper> (*)();

  SectionTable();
  // From now on `header` ("[MESH]") makes a node with `make`.
  void Add(std::string_view header, Maker make);
  std::unique_ptr<M5amsuper> Create(std::string_view header) const;

  // The table with nothing added.
  static const SectionTable& TreeOnly();

 private:
  std::vector<std::pair<std::string, Maker>> makers_;
};

template <class F>
auto M5amsuper::AtLine(std::int32_t line_index, F&& f) -> decltype(f()) {
  return WithLine(line_index, std::forward<F>(f));
}

}  // namespace zevrin
