// Mirror bone on a tag file. The bones are copied across the X = 0 plane by the rules of the
// bracketed edit (M5segment::MirrorBone, M5amsuper::MirrorBone): the same bones copied, in the
// same order and nesting. What the tag layout adds is the bone's own lists of the points it
// moves, which name points of the model's mesh by id: a copy lists the points across the plane
// from its source's.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "mesh/PositionResolver.h"
#include "mesh/TagMesh.h"
#include "model/AM5_segment.h"
#include "model/TagModel.h"
#include "util/Errors.h"
#include "util/FlatHash.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

constexpr std::string_view kMovedList = "NONSKINNEDCPS";   // one point id a line
constexpr std::string_view kWeightedList = "WEIGHTEDCPS";  // "id weight" a line

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The words of `text` (runs of non-blank bytes) as offsets into it.
std::vector<std::pair<std::size_t, std::size_t>> wordsOf(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isBlank(text[i])) ++i;
    const std::size_t begin = i;
    while (i < text.size() && !isBlank(text[i])) ++i;
    if (i > begin) words.emplace_back(begin, i);
  }
  return words;
}

// `value` with each word at the positions `flip` negated, once its first `count` words are
// known to be numbers (the conversion error otherwise). Every other byte stays as it is, so
// that the numbers the mirror leaves alone keep their text; zero is its own mirror image and
// keeps its text too ("-0" included).
std::string withNegatedWords(std::string_view value, std::size_t count,
                             std::initializer_list<std::size_t> flip) {
  const auto words = wordsOf(value);
  std::vector<double> numbers;
  for (std::size_t k = 0; k < count; ++k) {
    const std::string_view word =
        k < words.size() ? value.substr(words[k].first, words[k].second - words[k].first)
                         : std::string_view();
    numbers.push_back(StrToFloat(word));
  }
  std::string out;
  std::size_t done = 0;
  for (const std::size_t k : flip) {
    const auto [begin, end] = words[k];
    out.append(value.substr(done, begin - done));
    if (numbers[k] == 0) {
      out.append(value.substr(begin, end - begin));
    } else {
      AppendTagFloat(out, -numbers[k]);
    }
    done = end;
  }
  out.append(value.substr(done));
  return out;
}

// One item line of a bone as its mirrored copy holds it.
std::string mirroredItem(std::string_view line, const MirrorSettings& rule) {
  if (const auto name = TagSection::ValueOf(line, "Name")) return "Name=" + MirrorName(*name, rule);
  for (const std::string_view key : {"Start", "End"})
    if (const auto at = TagSection::ValueOf(line, key))
      return std::string(key) + '=' + withNegatedWords(*at, 3, {0});
  // The reflection in X = 0 keeps a rotation's x and w and negates its y and z.
  if (const auto turn = TagSection::ValueOf(line, "Rotate"))
    return "Rotate=" + withNegatedWords(*turn, 4, {1, 2});
  return std::string(line);  // the colour, the length and the switches hold in the mirror too
}

// Where the first word of a point-list line begins and ends (both the line's end when it has
// none).
std::pair<std::size_t, std::size_t> firstWordOf(std::string_view line) {
  std::size_t begin = 0;
  while (begin < line.size() && isBlank(line[begin])) ++begin;
  std::size_t end = begin;
  while (end < line.size() && !isBlank(line[end])) ++end;
  return {begin, end};
}

// The first word of a point-list line as an id; none for anything else.
std::optional<std::int32_t> idOf(std::string_view line) {
  const auto [begin, end] = firstWordOf(line);
  std::int32_t id = 0;
  const auto [stop, ec] = std::from_chars(line.data() + begin, line.data() + end, id);
  if (begin == end || ec != std::errc() || stop != line.data() + end) return std::nullopt;
  return id;
}

// Child sections of a bone that are objects of their own in the model's space (nulls, lights,
// forces, or whatever holds a place of its own): a copy of one would stand where its original
// stands, unmirrored. They are not copied; the bones below a null are mirrored where they are
// by the walk, as a bracketed file's are.
bool isObject(const M5amsuper& child) {
  for (const std::string_view name : {"SEGMENT", "NULLOBJECT", "LIGHT", "FORCE"})
    if (child.Name == name) return true;
  const auto* section = dynamic_cast<const TagSection*>(&child);
  if (!section) return true;
  for (const std::string_view key : {"Start", "End", "Rotate"})
    if (section->Value(key)) return true;
  return false;
}

double axisOf(const Vec3& v, std::uint32_t axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

double distance2(const Vec3& a, const Vec3& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

bool samePlace(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool beforeInPlace(const Vec3& a, const Vec3& b) {
  if (a.x != b.x) return a.x < b.x;
  if (a.y != b.y) return a.y < b.y;
  return a.z < b.z;
}

// The points of one model's mesh, for finding each point's partner across the plane: the
// nearest place within the tolerance of the point's mirror image (points that share a place,
// such as an attached point and its target, are partners in file order), taking no point
// that a bone's NONSKINNEDCPS lists already and none twice in one list. Places are found
// through a k-d tree, walked with a work list.
class Partners {
 public:
  Partners(const M5amsuper& model, const TagMesh* mesh, double tolerance)
      : tolerance_(tolerance), reach2_(tolerance >= 0 ? tolerance * tolerance : -1) {
    if (mesh) collectPoints(*mesh);
    groupPlaces();
    buildTree();
    // The points the model's bones move already.
    WalkTree(model, [&](const M5amsuper& node) {
      if (node.Name != kMovedList) return WalkOn::Into;
      for (const Entry& e : node.Entries)
        TagSection::ForEachItem(e, [&](std::string_view line, std::int32_t) {
          const auto id = idOf(line);
          if (!id) return;
          if (const std::uint32_t* k = point_of_id_.Find(IdKey(*id))) take(slot_of_point_[*k]);
        });
      return WalkOn::Over;
    });
  }

  // A list of the copy begins: no point is in it yet. `moved`: a NONSKINNEDCPS, whose points
  // no other list may take afterwards.
  void BeginList(bool moved) {
    ++list_;
    moved_ = moved;
  }

  // The partner of the point `id` for the list begun last, or none.
  std::optional<std::int32_t> Partner(std::int32_t id) {
    const std::uint32_t* k = point_of_id_.Find(IdKey(id));
    if (!k || place_of_point_[*k] == kNone) return std::nullopt;
    const Vec3& p = at_[*k];
    // On the plane: the point is its own mirror image.
    if (!(std::fabs(p.x) > tolerance_)) return std::nullopt;
    std::uint32_t& found = partner_place_[place_of_point_[*k]];
    if (found == kUnknown) found = nearestPlace({-p.x, p.y, p.z});
    if (found == kNone) return std::nullopt;
    // The first point of the place that is neither taken nor in this list yet: those before
    // the list's last pick are one or the other for the rest of the list.
    const std::uint32_t from =
        list_of_place_[found] == list_ ? next_in_place_[found] : first_[found];
    const std::uint32_t slot = untaken(from);
    if (slot >= first_[found + 1]) return std::nullopt;
    list_of_place_[found] = list_;
    next_in_place_[found] = slot + 1;
    if (moved_) take(slot);
    return ids_[by_place_[slot]];
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  static constexpr std::uint32_t kUnknown = 0xFFFFFFFEu;

  double tolerance_;
  double reach2_;  // the square of the tolerance; none reaches a negative one
  // By point, in file order.
  std::vector<std::int32_t> ids_;
  std::vector<Vec3> at_;
  std::vector<std::uint32_t> place_of_point_;  // kNone: a position that is no number
  std::vector<std::uint32_t> slot_of_point_;
  FlatHash<std::uint32_t> point_of_id_;
  // The points by place, and by file order within a place: place v holds the slots
  // first_[v] .. first_[v + 1] - 1. Places are numbered in the order of their positions.
  std::vector<std::uint32_t> by_place_;
  std::vector<std::uint32_t> first_;
  // Taken slots: each points on to a later slot, towards the next untaken one (kept short).
  std::vector<std::uint32_t> skip_;
  // By place: where the list begun last goes on looking, the partner place of a point here.
  std::vector<std::uint32_t> list_of_place_;
  std::vector<std::uint32_t> next_in_place_;
  std::vector<std::uint32_t> partner_place_;
  std::uint32_t list_ = 0;
  bool moved_ = false;
  // The k-d tree of the places: a range of nodes split at its middle node, along its axis.
  struct Node {
    Vec3 at;
    std::uint32_t place;
    std::uint32_t axis;  // 0, 1, 2: x, y, z
  };
  std::vector<Node> tree_;
  // The ranges of the tree a search has still to look at, kept from one search to the next.
  struct Range {
    std::uint32_t lo, hi;
    double least2;  // no place in the range lies nearer than this
  };
  std::vector<Range> pending_;

  void collectPoints(const TagMesh& mesh) {
    PositionResolver resolver;
    std::size_t n = 0;
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) ++n;
    ids_.reserve(n);
    at_.reserve(n);
    point_of_id_ = FlatHash<std::uint32_t>(n);
    for (const auto& s : mesh.Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
        // The first point of an id is the one every look-up by id finds.
        point_of_id_.TryEmplace(IdKey(p->Id), static_cast<std::uint32_t>(ids_.size()));
        ids_.push_back(p->Id);
        at_.push_back(resolver.Pos(*p, p->PositionParam()));
      }
  }

  void groupPlaces() {
    const auto n = static_cast<std::uint32_t>(ids_.size());
    place_of_point_.assign(n, kNone);
    slot_of_point_.assign(n, kNone);
    struct Sorted {
      Vec3 at;
      std::uint32_t point;
    };
    std::vector<Sorted> sorted;
    sorted.reserve(n);
    for (std::uint32_t k = 0; k < n; ++k) {
      const Vec3& p = at_[k];
      if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) sorted.push_back({p, k});
    }
    std::sort(sorted.begin(), sorted.end(), [](const Sorted& a, const Sorted& b) {
      if (!samePlace(a.at, b.at)) return beforeInPlace(a.at, b.at);
      return a.point < b.point;
    });
    by_place_.resize(sorted.size());
    for (std::uint32_t slot = 0; slot < sorted.size(); ++slot) {
      const std::uint32_t k = sorted[slot].point;
      by_place_[slot] = k;
      if (slot == 0 || !samePlace(sorted[slot].at, sorted[slot - 1].at)) {
        first_.push_back(slot);
        tree_.push_back({sorted[slot].at, static_cast<std::uint32_t>(tree_.size()), 0});
      }
      place_of_point_[k] = static_cast<std::uint32_t>(tree_.size() - 1);
      slot_of_point_[k] = slot;
    }
    first_.push_back(static_cast<std::uint32_t>(by_place_.size()));
    skip_.resize(by_place_.size() + 1);
    for (std::uint32_t slot = 0; slot < skip_.size(); ++slot) skip_[slot] = slot;
    list_of_place_.assign(tree_.size(), 0);
    next_in_place_.assign(tree_.size(), 0);
    partner_place_.assign(tree_.size(), kUnknown);
  }

  // The first untaken slot from `slot` on (the end of the slots when none is).
  std::uint32_t untaken(std::uint32_t slot) {
    while (skip_[slot] != slot) {
      skip_[slot] = skip_[skip_[slot]];
      slot = skip_[slot];
    }
    return slot;
  }
  void take(std::uint32_t slot) {
    if (slot < by_place_.size()) skip_[slot] = slot + 1;
  }

  // Orders the places (in place order in tree_) as a k-d tree.
  void buildTree() {
    struct Part {
      std::uint32_t lo, hi;
      std::uint32_t axis;
    };
    std::vector<Part> pending{{0, static_cast<std::uint32_t>(tree_.size()), 0}};
    while (!pending.empty()) {
      const Part r = pending.back();
      pending.pop_back();
      if (r.lo >= r.hi) continue;
      const std::uint32_t mid = r.lo + (r.hi - r.lo) / 2;
      std::nth_element(tree_.begin() + r.lo, tree_.begin() + mid, tree_.begin() + r.hi,
                       [axis = r.axis](const Node& a, const Node& b) {
                         return axisOf(a.at, axis) < axisOf(b.at, axis);
                       });
      tree_[mid].axis = r.axis;
      const std::uint32_t next = (r.axis + 1) % 3;
      pending.push_back({r.lo, mid, next});
      pending.push_back({mid + 1, r.hi, next});
    }
  }

  // The place nearest to `q` within the tolerance (of several as near, the first in place
  // order), or kNone.
  std::uint32_t nearestPlace(const Vec3& q) {
    std::uint32_t best = kNone;
    double best2 = reach2_;
    if (best2 < 0) return kNone;
    std::vector<Range>& pending = pending_;
    pending.assign(1, Range{0, static_cast<std::uint32_t>(tree_.size()), 0});
    while (!pending.empty()) {
      Range r = pending.back();
      pending.pop_back();
      // Down the side of q, keeping the other side for later where it may hold a nearer place.
      while (r.lo < r.hi && !(r.least2 > best2)) {
        const std::uint32_t mid = r.lo + (r.hi - r.lo) / 2;
        const Node& node = tree_[mid];
        const double d2 = distance2(node.at, q);
        if (d2 < best2 || (d2 == best2 && node.place < best)) {
          best = node.place;
          best2 = d2;
        }
        const double diff = axisOf(q, node.axis) - axisOf(node.at, node.axis);
        const double far2 = std::max(r.least2, diff * diff);
        const Range low{r.lo, mid, diff < 0 ? r.least2 : far2};
        const Range high{mid + 1, r.hi, diff < 0 ? far2 : r.least2};
        const Range& far = diff < 0 ? high : low;
        if (far.lo < far.hi && !(far2 > best2)) pending.push_back(far);
        r = diff < 0 ? low : high;
      }
    }
    return best;
  }
};

// The model a bone belongs to, and the partners of its mesh's points once a copy needs them.
struct ModelOfBones {
  TagModel* model = nullptr;
  std::optional<Partners> partners;
  bool changed = false;
};

class Mirror {
 public:
  Mirror(double tolerance, const MirrorSettings& rule, Progress& bars)
      : tolerance_(tolerance), rule_(rule), bars_(bars) {}

  TagBonePoints Run(TagFile& file) {
    walk(file);
    // Every copy is made: now the file changes.
    for (Change& c : changes_) {
      if (c.bone) {
        for (auto& copy : c.copies) c.bone->AddChild(std::move(copy));
        continue;
      }
      std::vector<Entry>& entries = c.container->Entries;
      std::size_t last_bone = entries.size();
      for (std::size_t k = entries.size(); k-- > 0;) {
        if (dynamic_cast<TagBone*>(entries[k].Child.get())) {
          last_bone = k;
          break;
        }
      }
      if (last_bone == entries.size()) continue;  // never: the copies come from its bones
      std::vector<Entry> inserted;
      inserted.reserve(c.copies.size());
      for (auto& copy : c.copies) inserted.push_back(Entry{std::string(), std::move(copy), -1});
      entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(last_bone),
                     std::make_move_iterator(inserted.begin()),
                     std::make_move_iterator(inserted.end()));
    }
    for (ModelOfBones& m : models_)
      if (m.changed && m.model) m.model->Refresh();
    return counts_;
  }

 private:
  // A change the walk decided on: copies appended to a bone on the plane, or inserted into a
  // container before its last bone.
  struct Change {
    TagBone* bone = nullptr;
    TagSection* container = nullptr;
    std::vector<std::unique_ptr<TagBone>> copies;
  };

  double tolerance_;
  const MirrorSettings& rule_;
  Progress& bars_;
  TagBonePoints counts_;
  std::vector<Change> changes_;
  std::deque<ModelOfBones> models_;  // the walk's frames point into it

  void walk(TagFile& file) {
    models_.emplace_back();  // bones outside any model: no mesh to list points of

    struct Frame {
      TagSection* node;
      TagBone* bone;                               // node as a bone; none for a container
      std::unique_ptr<TagBone> copy;               // a bone's copy; none on the plane
      std::vector<std::unique_ptr<TagBone>> made;  // a container's copies of its bones
      std::size_t next;                            // entries below this are still to visit
      ModelOfBones* model;
    };
    std::vector<Frame> open;
    open.push_back({&file, nullptr, nullptr, {}, file.Entries.size(), &models_.front()});
    for (;;) {
      Frame& top = open.back();
      if (top.next > 0) {
        // The last child first: copies added below lie past `next` and are never visited.
        M5amsuper* child = top.node->Entries[--top.next].Child.get();
        auto* section = dynamic_cast<TagSection*>(child);
        if (!section) continue;  // a mesh, which holds no bones
        ModelOfBones* model = top.model;
        if (auto* m = dynamic_cast<TagModel*>(section)) {
          models_.push_back({m, std::nullopt, false});
          model = &models_.back();
        }
        if (auto* bone = dynamic_cast<TagBone*>(section)) {
          if (bone->MirroredCopy) continue;  // a copy is never mirrored again
          bars_.CheckCancel();
          std::unique_ptr<TagBone> copy = copyOf(*bone, *model);
          open.push_back({bone, bone, std::move(copy), {}, bone->Entries.size(), model});
        } else {
          open.push_back({section, nullptr, nullptr, {}, section->Entries.size(), model});
        }
        continue;
      }
      Frame done = std::move(top);
      open.pop_back();
      if (!done.bone) {
        if (!done.made.empty()) changes_.push_back({nullptr, done.node, std::move(done.made)});
        if (open.empty()) return;
        continue;
      }
      if (!done.copy) continue;
      done.model->changed = true;
      Frame& parent = open.back();
      if (!parent.bone) {
        parent.made.push_back(std::move(done.copy));
      } else if (parent.copy) {
        parent.copy->AddChild(std::move(done.copy));
      } else if (!changes_.empty() && changes_.back().bone == parent.bone) {
        changes_.back().copies.push_back(std::move(done.copy));
      } else {
        Change c;
        c.bone = parent.bone;
        c.copies.push_back(std::move(done.copy));
        changes_.push_back(std::move(c));
      }
    }
  }

  // The bone's own copy across the plane, without its child bones; none when it lies on the
  // plane. Its items are the source's in order, with the name, the ends and the rotation
  // mirrored; its point lists name the partners of the source's points. Other child sections
  // are settings of the bone (the limits of its manipulators, its falloff, user properties,
  // all measured alike on either side): they hold for the mirrored bone as for its source and
  // are copied whole. Objects below the bone are not (isObject).
  std::unique_ptr<TagBone> copyOf(const TagBone& source, ModelOfBones& model) {
    if (!(std::fabs(source.Start.x) > tolerance_ || std::fabs(source.End.x) > tolerance_))
      return nullptr;
    auto copy = std::make_unique<TagBone>();
    copy->Name = source.Name;
    copy->Header = source.Header;
    copy->Close = source.Close;
    copy->MirroredCopy = true;
    copy->BoneName = MirrorName(source.BoneName, rule_);
    copy->Start = {-source.Start.x, source.Start.y, source.Start.z};
    copy->End = {-source.End.x, source.End.y, source.End.z};
    std::copy(std::begin(source.Color), std::end(source.Color), std::begin(copy->Color));
    for (const Entry& e : source.Entries) {
      if (!e.Child) {
        std::string block;
        TagSection::ForEachItem(e, [&](std::string_view line, std::int32_t at) {
          if (!block.empty()) block.append("\r\n");
          block.append(WithLine(at, [&] { return mirroredItem(line, rule_); }));
        });
        copy->AddLine(std::move(block));
        continue;
      }
      const M5amsuper& child = *e.Child;
      if (child.Name == kMovedList || child.Name == kWeightedList) {
        if (auto list = mappedList(child, model)) copy->AddChild(std::move(list));
      } else if (!isObject(child)) {
        copy->AddChild(child.Clone());
      }
    }
    return copy;
  }

  // The copy of a NONSKINNEDCPS or WEIGHTEDCPS list: each line with its id replaced by the
  // partner's, in the source's order; lines without a partner left out. None when no line is
  // left, as the modeller writes no list for a bone that moves no point.
  std::unique_ptr<TagSection> mappedList(const M5amsuper& source, ModelOfBones& model) {
    const auto* list = dynamic_cast<const TagSection*>(&source);
    if (!list) return nullptr;
    Partners* partners = nullptr;
    if (model.model) {
      if (!model.partners) model.partners.emplace(*model.model, model.model->Mesh, tolerance_);
      partners = &*model.partners;
      partners->BeginList(list->Name == kMovedList);
    }
    std::string lines;
    std::uint32_t seen = 0;
    for (const Entry& e : list->Entries)
      TagSection::ForEachItem(e, [&](std::string_view line, std::int32_t) {
        if ((++seen & 0xFFFu) == 0) bars_.CheckCancel();
        std::optional<std::int32_t> partner;
        if (partners)
          if (const auto id = idOf(line)) partner = partners->Partner(*id);
        if (!partner) {
          ++counts_.LeftOut;
          return;
        }
        ++counts_.Carried;
        const auto [begin, end] = firstWordOf(line);
        if (!lines.empty()) lines.append("\r\n");
        lines.append(line.substr(0, begin));
        lines.append(IntToStr(*partner));
        lines.append(line.substr(end));
      });
    if (lines.empty()) return nullptr;
    auto out = std::make_unique<TagSection>();
    out->Name = list->Name;
    out->Header = list->Header;
    out->Close = list->Close;
    out->AddLine(std::move(lines));
    return out;
  }
};

}  // namespace

TagBonePoints MirrorTagBones(TagFile& file, double tolerance, const MirrorSettings& rule,
                             Progress& bars) {
  return Mirror(tolerance, rule, bars).Run(file);
}

std::unique_ptr<M5amsuper> TagFile::MirrorBone(double tolerance, const MirrorSettings& rule) {
  Progress quiet;
  MirrorTagBones(*this, tolerance, rule, quiet);
  return nullptr;
}

}  // namespace zevrin
