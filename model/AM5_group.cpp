#include "model/AM5_group.h"

#include "mesh/AM5_cplist.h"

namespace zevrin {

void M5group::TakeEntry(std::string_view text, std::unique_ptr<M5amsuper> child,
                        std::int32_t line) {
  if (child) {
    Entries.push_back(Entry{std::string(), std::move(child), line});
    text = {};
  }
  if (ids_done_ || error_) return;
  TokenView tokens(text);
  const std::string_view key = tokens.Next('=');
  if (SameKeyword(key, "Name")) {
    GroupName = std::string(tokens.Next('='));
  } else if (SameKeyword(key, "Count")) {
    try {
      remaining_ = WithLine(line, [&] { return StrToInt(tokens.Next('=')); });
    } catch (const ZevrinError& e) {
      error_ = std::make_unique<ZevrinError>(e);
    }
  } else {
    GroupIds.emplace_back(text);
    // Any line before the count is taken as an id and ends the reading at once.
    if (--remaining_ <= 0) ids_done_ = true;
  }
}

void M5group::FinishRead(StepContext& step) {
  M5amsuper::FinishRead(step);
  remaining_ = 0;
  ids_done_ = false;
  GroupIds.shrink_to_fit();  // the list grew while it was read; it is kept for the edits
  if (std::unique_ptr<ZevrinError> error = std::move(error_)) throw *error;
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
