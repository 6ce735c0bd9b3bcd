#include "model/tree/AM_step.h"

namespace zevrin {

LineList AttachReport::Lines() const {
  // The header is the same whatever the interface language.
  LineList lines{"アタッチ先が無い", "num_of_cp=" + IntToStr(PointCount)};
  lines.reserve(lines.size() + Problems.size());
  for (const AttachProblem& p : Problems)
    lines.push_back("cpid=" + IntToStr(p.Id) + " at_cpid=" + IntToStr(p.TargetId));
  return lines;
}

}  // namespace zevrin
