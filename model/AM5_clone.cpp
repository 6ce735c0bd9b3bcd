// Copies of the model file's interpreting nodes, for the section tree's Clone.
#include "mesh/AM5_mesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/AM5_segment.h"

namespace zevrin {

std::unique_ptr<M5amsuper> M5segment::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new M5segment(*this));
}

std::unique_ptr<M5amsuper> M5group::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new M5group(*this));
}

std::size_t M5group::OwnBytes() const {
  std::size_t bytes = M5amsuper::OwnBytes() + HeapBytesOf(GroupName);
  if (GroupIds.capacity() > 0) bytes += HeapBytes(GroupIds.capacity() * sizeof(std::string));
  for (const std::string& id : GroupIds) bytes += HeapBytesOf(id);
  return bytes;
}

std::unique_ptr<M5amsuper> M5model::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new M5model(*this));
}

void M5model::RelinkClone(const CloneMap& copies) {
  // The copy took the source's links; each names a child of the source model, copied too.
  const auto copy_of = [&copies](const M5amsuper* node) {
    const auto it = copies.find(node);
    return it == copies.end() ? nullptr : it->second;
  };
  Mesh = static_cast<M5mesh*>(copy_of(Mesh));
  for (M5group*& group : Groups) group = static_cast<M5group*>(copy_of(group));
}

}  // namespace zevrin
