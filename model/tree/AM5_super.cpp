#include "model/tree/AM5_super.h"

#include <array>
#include <utility>

#include "model/tree/AM5_nodata.h"
#include "model/tree/AM5_nosection.h"

namespace zevrin {

M5amsuper::~M5amsuper() {
  // Unlink the subtree into a work list so that no destructor recurses: a file can nest
  // sections as deep as it likes until the reader refuses it.
  std::vector<std::unique_ptr<M5amsuper>> pending;
  for (Entry& e : Entries)
    if (e.Child) pending.push_back(std::move(e.Child));
  while (!pending.empty()) {
    std::unique_ptr<M5amsuper> node = std::move(pending.back());
    pending.pop_back();
    for (Entry& e : node->Entries)
      if (e.Child) pending.push_back(std::move(e.Child));
  }
}

SectionTable::SectionTable() {
  const Maker container = [] { return std::make_unique<M5amsuper>(); };
  const Maker no_data = [] { return std::unique_ptr<M5amsuper>(std::make_unique<M5nodata>()); };
  Add("[MODELFILE]", container);
  Add("[OBJECTS]", container);
  for (const char* name : {"[MATERIALS]", "[PATCHS]", "[ACTIONS]", "[CHOREOGRAPHIES]"})
    Add(name, no_data);
}

void SectionTable::Add(std::string_view header, Maker make) {
  for (auto& [name, maker] : makers_) {
    if (SameKeyword(name, header)) {
      maker = make;
      return;
    }
  }
  makers_.emplace_back(std::string(header), make);
}

std::unique_ptr<M5amsuper> SectionTable::Create(std::string_view header) const {
  for (const auto& [name, make] : makers_)
    if (SameKeyword(header, name)) return make();
  return std::make_unique<M5nosection>();
}

const SectionTable& SectionTable::TreeOnly() {
  static const SectionTable table;
  return table;
}

std::int32_t M5amsuper::ReadSection(const LineList& lines, std::int32_t start, StepContext& step) {
  LineSource source(lines, start);
  return ReadFrom(source, step);
}

std::int32_t M5amsuper::ReadFrom(LineSource& source, StepContext& step) {
  const std::int64_t header = source.Index();
  std::string_view line;
  if (!source.Next(line)) throwIndexError(header);
  ReadLines(source, TrimView(line), static_cast<std::int32_t>(header), step);
  return static_cast<std::int32_t>(source.Index());
}

void M5amsuper::TakeEntry(std::string_view text, std::unique_ptr<M5amsuper> child,
                          std::int32_t line) {
  Entries.push_back(Entry{std::string(text), std::move(child), line});
}

void M5amsuper::ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                          StepContext& step) {
  const SectionTable& sections = step.Sections ? *step.Sections : SectionTable::TreeOnly();
  struct Open {
    M5amsuper* node;
    std::string end_line;
    std::int32_t header;  // 0-based index of the header line
  };
  std::vector<Open> open;

  const auto begin_section = [&](M5amsuper* node, std::string_view trimmed, std::int32_t at) {
    node->Name = SectionNameOf(trimmed);
    if (static_cast<std::int32_t>(open.size()) + read_depth_ > kMaxSectionDepth) ThrowTooDeep(at);
    open.push_back({node, "[END" + node->Name + "]", at});
  };

  begin_section(this, header, header_index);
  std::string_view raw;
  while (!open.empty()) {
    Open& top = open.back();
    const std::int64_t i = source.Index();
    if (!source.Next(raw)) ThrowMissingEnd(i, top.header);
    const auto index = static_cast<std::int32_t>(i);
    const std::string_view line = TrimView(raw);
    if (SameKeyword(line, top.end_line)) {
      M5amsuper* finished = top.node;
      open.pop_back();
      finished->FinishRead(step);
      continue;
    }
    if (line.empty() || line.front() != '[') {
      top.node->TakeEntry(line, nullptr, index);
      continue;
    }
    std::unique_ptr<M5amsuper> child = sections.Create(line);
    M5amsuper* c = child.get();
    top.node->TakeEntry({}, std::move(child), index);
    if (c->ReadsNestedSections()) {
      begin_section(c, line, index);
    } else {
      c->read_depth_ = static_cast<std::int32_t>(open.size()) + read_depth_;
      c->ReadLines(source, line, index, step);
    }
  }
}

std::string M5amsuper::SectionNameOf(std::string_view h) {
  return h.size() >= 2 ? std::string(h.substr(1, h.size() - 2)) : std::string();
}

void M5amsuper::ThrowMissingEnd(std::int64_t index, std::int32_t header_index) {
  ZevrinError e(ErrorKind::IndexOutOfRange, std::to_string(index));
  e.setLine(header_index + 1);
  throw e;
}

void M5amsuper::ThrowTooDeep(std::int32_t header_index) {
  ZevrinError e(ErrorKind::NestingTooDeep, std::to_string(kMaxSectionDepth));
  e.setLine(header_index + 1);
  throw e;
}

void M5amsuper::FinishRead(StepContext& /*step*/) {
  // Only a model answers for its box. A subtree without one has nothing to give, and asking it
  // again at every level would cost the square of the nesting depth of a hostile file.
  read_model_below_ = IsModelNode();
  for (const Entry& e : Entries)
    if (e.Child && e.Child->read_model_below_) read_model_below_ = true;
  if (read_model_below_) GetBounds(BoundsMin, BoundsMax);
}

void M5amsuper::WriteSection(LineList& lines) {
  TextWriter out(lines);
  Write(out);
}

void M5amsuper::Write(TextWriter& out) {
  out.AddChar('[').Add(Name).AddChar(']').EndLine();
  for (Entry& e : Entries) {
    if (e.Child) {
      e.Child->Write(out);
    } else {
      out.Line(e.Text);
    }
  }
  out.Add("[END").Add(Name).AddChar(']').EndLine();
}

void M5amsuper::Halvejoin(double tolerance, StepContext& step) {
  for (Entry& e : Entries)
    if (e.Child) e.Child->Halvejoin(tolerance, step);
  GetBounds(BoundsMin, BoundsMax);
}

double M5amsuper::GetBound(std::uint32_t index) {
  switch (index) {
    case 0:
      return BoundsMin.x;
    case 1:
      return BoundsMin.y;
    case 2:
      return BoundsMin.z;
    case 3:
      return BoundsMax.x;
    case 4:
      return BoundsMax.y;
    case 5:
      return BoundsMax.z;
    default:
      return 100.0;
  }
}

void M5amsuper::Draw(Mscreen& view) {
  // What the next save leaves out is not drawn either: the picture shows what will be saved.
  for (Entry& e : Entries)
    if (e.Child && !e.Child->IsSuppressed()) e.Child->Draw(view);
}

void M5amsuper::ConnectGroupedSplines(StepContext& step) {
  for (Entry& e : Entries)
    if (e.Child) e.Child->ConnectGroupedSplines(step);
}

bool M5amsuper::GetBounds(Vec3& min, Vec3& max) {
  for (Entry& e : Entries)
    if (e.Child && e.Child->GetBounds(min, max)) return true;
  return false;
}

void M5amsuper::ImportPolygons(Mpolycommon& polygons, StepContext& step) {
  for (Entry& e : Entries)
    if (e.Child) e.Child->ImportPolygons(polygons, step);
  GetBounds(BoundsMin, BoundsMax);
}

void M5amsuper::AttachAll(StepContext& step) {
  for (Entry& e : Entries)
    if (e.Child) e.Child->AttachAll(step);
}

void M5amsuper::DetachAll(StepContext& step) {
  for (Entry& e : Entries)
    if (e.Child) e.Child->DetachAll(step);
}

std::unique_ptr<M5amsuper> M5amsuper::MirrorBone(double tolerance, const MirrorSettings& rule) {
  if (Entries.empty()) return nullptr;
  std::vector<std::unique_ptr<M5amsuper>> made;
  for (std::size_t k = Entries.size(); k-- > 0;) {
    if (!Entries[k].Child) continue;
    if (auto copy = Entries[k].Child->MirrorBone(tolerance, rule)) made.push_back(std::move(copy));
  }
  if (made.empty()) return nullptr;
  std::size_t last_bone = Entries.size();
  for (std::size_t k = Entries.size(); k-- > 0;) {
    if (Entries[k].Child && SameKeyword(Entries[k].Child->Name, "SEGMENT")) {
      last_bone = k;
      break;
    }
  }
  if (last_bone == Entries.size()) return nullptr;
  std::vector<Entry> inserted;
  inserted.reserve(made.size());
  for (auto& copy : made) inserted.push_back(Entry{std::string(), std::move(copy), -1});
  Entries.insert(Entries.begin() + static_cast<std::ptrdiff_t>(last_bone),
                 std::make_move_iterator(inserted.begin()),
                 std::make_move_iterator(inserted.end()));
  return nullptr;
}

void M5amsuper::CheckHalvejoin() {
  for (Entry& e : Entries)
    if (e.Child) e.Child->CheckHalvejoin();
}

void M5amsuper::CheckConnect() {
  for (Entry& e : Entries)
    if (e.Child) e.Child->CheckConnect();
}

void M5amsuper::AddChild(std::unique_ptr<M5amsuper> child) {
  Entries.push_back(Entry{std::string(), std::move(child), -1});
}

void M5amsuper::AddLine(std::string text) {
  Entries.push_back(Entry{std::move(text), nullptr, -1});
}

}  // namespace zevrin
