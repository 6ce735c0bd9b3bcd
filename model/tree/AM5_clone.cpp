// Copies of a section tree, and the memory a tree holds, for the window's undo history.
#include <cassert>
#include <typeinfo>
#include <utility>

#include "model/tree/AM5_nodata.h"
#include "model/tree/AM5_nosection.h"
#include "model/tree/AM5_super.h"

namespace zevrin {

M5amsuper::M5amsuper(const M5amsuper& other)
    : Mamcommon(other),
      Name(other.Name),
      BoundsMin(other.BoundsMin),
      BoundsMax(other.BoundsMax),
      read_depth_(other.read_depth_),
      read_model_below_(other.read_model_below_) {}

void M5amsuper::CopyNodeFrom(const M5amsuper& other) {
  Name = other.Name;
  BoundsMin = other.BoundsMin;
  BoundsMax = other.BoundsMax;
  read_depth_ = other.read_depth_;
  read_model_below_ = other.read_model_below_;
}

std::unique_ptr<M5amsuper> M5amsuper::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new M5amsuper(*this));
}

std::unique_ptr<M5amsuper> M5nosection::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new M5nosection(*this));
}

std::unique_ptr<M5amsuper> M5nodata::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new M5nodata(*this));
}

std::unique_ptr<M5amsuper> M5amsuper::Clone() const {
  std::unique_ptr<M5amsuper> root = CloneNode();
  CloneMap copies{{this, root.get()}};
  // Each pair is a node whose entries are still to be copied, and its copy.
  std::vector<std::pair<const M5amsuper*, M5amsuper*>> pending{{this, root.get()}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    // A class that adds fields must copy them: a base copy would lose them silently.
    assert(typeid(*from) == typeid(*to));
    to->Entries.reserve(from->Entries.size());
    for (const Entry& e : from->Entries) {
      Entry copy{e.Text, nullptr, e.Line};
      if (e.Child) {
        copy.Child = e.Child->CloneNode();
        copies.emplace(e.Child.get(), copy.Child.get());
        pending.emplace_back(e.Child.get(), copy.Child.get());
      }
      to->Entries.push_back(std::move(copy));
    }
  }
  for (const auto& [from, to] : copies) to->RelinkClone(copies);
  return root;
}

std::size_t HeapBytesOf(const std::string& text) {
  // Short strings live inside the string object; a longer one owns a block of its capacity.
  return text.capacity() > 15 ? HeapBytes(text.capacity() + 1) : 0;
}

std::size_t M5amsuper::OwnBytes() const {
  std::size_t bytes = HeapBytes(sizeof(*this)) + HeapBytesOf(Name);
  if (Entries.capacity() > 0) bytes += HeapBytes(Entries.capacity() * sizeof(Entry));
  for (const Entry& e : Entries) bytes += HeapBytesOf(e.Text);
  return bytes;
}

std::size_t HeldBytes(const M5amsuper& root) {
  std::size_t bytes = 0;
  std::vector<const M5amsuper*> pending{&root};
  while (!pending.empty()) {
    const M5amsuper* node = pending.back();
    pending.pop_back();
    bytes += node->OwnBytes();
    for (const Entry& e : node->Entries)
      if (e.Child) pending.push_back(e.Child.get());
  }
  return bytes;
}

}  // namespace zevrin
