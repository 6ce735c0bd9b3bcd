// The MESH section read the plain way: every line of the section kept as an entry (a nested
// section as an empty one), then the blocks read from the entries with copying tokenizers.
// The tests compare the mesh's line-by-line reader with it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mesh/AM5_mesh.h"
#include "model/tree/AM_const.h"
#include "util/Errors.h"

namespace zevrin::literal {

struct MeshEntry {
  std::string Text;  // trimmed; empty for a nested section
  std::int32_t Line;
};

inline void literalBias(const MeshEntry& line, bool& is_default, Vec3& bias) {
  if (CountWords(line.Text) == 1) {
    is_default = true;
    bias = Vec3{};
    return;
  }
  is_default = false;
  WithLine(line.Line, [&] {
    MCommaStr words;
    words.Separator = " ";
    words.SetText(line.Text);
    bias.x = StrToFloat(words.NextToken());
    bias.y = StrToFloat(words.NextToken());
    bias.z = StrToFloat(words.NextToken());
  });
}

inline std::size_t literalRecord(M5cp& cp, const std::vector<MeshEntry>& entries,
                                 std::size_t index) {
  if (index + 4 > entries.size()) throwIndexError(static_cast<std::int64_t>(entries.size()));
  MCommaStr words;
  words.Separator = " ";
  const MeshEntry& l1 = entries[index];
  WithLine(l1.Line, [&] {
    words.SetText(l1.Text);
    const std::int64_t flags = StrToInt64(words.NextToken());
    if (flags < 0 || flags > 4294967295LL) throw ZevrinError(ErrorKind::RangeCheck, "");
    cp.Flags = static_cast<std::uint32_t>(flags);
    cp.Attached = StrToInt(words.NextToken());
    cp.Id = StrToInt(words.NextToken());
    cp.HookParam = 0;
    if (cp.HasHookParamBits() && words.RestLength() > 0)
      cp.HookParam = StrToFloat(words.NextToken());
  });
  const MeshEntry& l2 = entries[index + 1];
  WithLine(l2.Line, [&] {
    words.SetText(l2.Text);
    if (cp.Attached == 1) {
      cp.TargetId = StrToInt(words.NextToken());
    } else {
      cp.X = StrToFloat(words.NextToken());
      cp.Y = StrToFloat(words.NextToken());
      cp.Z = StrToFloat(words.NextToken());
    }
  });
  literalBias(entries[index + 2], cp.InBiasDefault, cp.InBias);
  literalBias(entries[index + 3], cp.OutBiasDefault, cp.OutBias);
  return index + 4;
}

// Fills `mesh` (Version and Splines) from the entries; raises what the entries hold wrong.
inline void literalReadMesh(M5mesh& mesh, const std::vector<MeshEntry>& entries) {
  mesh.Version = "2";
  MCommaStr tokens;
  std::size_t i = 0;
  while (i < entries.size()) {
    tokens.Separator = "=";
    tokens.SetText(entries[i].Text);
    const std::string key = tokens.NextToken();
    if (SameKeyword(key, "Version")) {
      mesh.Version = tokens.NextToken();
      ++i;
    } else if (SameKeyword(key, "CPs")) {
      const MeshEntry& head = entries[i];
      auto spline = std::make_unique<M5spline>();
      const std::int32_t count =
          WithLine(head.Line, [&] { return StrToInt(AfterFirst("=", head.Text)); });
      ++i;
      if (count > 0) {
        WithLine(head.Line, [&] {
          for (std::int32_t k = 0; k < count; ++k) {
            auto cp = std::make_unique<M5cp>();
            i = literalRecord(*cp, entries, i);
            spline->AppendCp(std::move(cp));
          }
        });
      }
      mesh.Splines.push_back(std::move(spline));
    } else {
      ++i;
    }
  }
}

}  // namespace zevrin::literal
