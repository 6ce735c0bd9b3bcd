#include "model/AM5_group.h"

#include "mesh/AM5_cplist.h"

namespace zevrin {

void M5group::FinishRead(StepContext& step) {
  M5amsuper::FinishRead(step);
  std::int32_t remaining = 0;
  for (const Entry& e : Entries) {
    TokenView tokens(e.Text);
    const std::string_view key = tokens.Next('=');
    if (SameKeyword(key, "Name")) {
      GroupName = std::string(tokens.Next('='));
    } else if (SameKeyword(key, "Count")) {
      remaining = WithLine(e.Line, [&] { return StrToInt(tokens.Next('=')); });
    } else {
      GroupIds.push_back(e.Text);
      // Any line before the count is taken as an id and ends the reading at once.
      if (--remaining <= 0) break;
    }
  }
}

void M5group::Write(TextWriter& out) {
  if (Suppressed) return;
  out.AddChar('[').Add(Name).AddChar(']').EndLine();
  out.Add("Name=").Add(GroupName).EndLine();
  out.Add("Count=").AddInt(IdCount()).EndLine();
  for (const std::string& id : GroupIds) out.Line(id);
  out.Add("[END").Add(Name).AddChar(']').EndLine();
}

void M5group::Halvejoin(double /*tolerance*/, StepContext& /*step*/) { Suppressed = true; }

void M5group::FillFromCps(const M5cplist& list) {
  for (const M5cp* p : list.Items)
    if (p->HasGroupName(GroupName)) GroupIds.push_back(IntToStr(p->Id));
}

}  // namespace zevrin
