// The abstract base shared by the section nodes of a model file and the polygon readers.
#pragma once

#include <cstdint>

#include "util/Ustrlib.h"

namespace zevrin {

class Mscreen;      // the wireframe view the nodes draw through
class Mpolycommon;  // a polygon model read from a DXF or ROK file
class StepContext;  // the progress, switches and report of one load or edit

struct Vec3 {
  double x = 0;
  double y = 0;
  double z = 0;
};

class Progress;  // the bars of one load or edit

class Mamcommon {
 public:
  virtual ~Mamcommon() = default;

  // Reads the section whose header is the line at `start`; returns the index after its end
  // line. `lines` may come from any file: malformed input raises ZevrinError.
  virtual std::int32_t ReadSection(const LineList& lines, std::int32_t start,
                                   StepContext& step) = 0;
  // Appends the section's lines to `lines`.
  virtual void WriteSection(LineList& lines) = 0;
  virtual void Halvejoin(double tolerance, StepContext& step) = 0;
  // 0, 1, 2: minimum x, y, z; 3, 4, 5: maximum x, y, z; any other index: 100.
  virtual double GetBound(std::uint32_t index) = 0;
  virtual void Draw(Mscreen& view) = 0;
  virtual void ConnectGroupedSplines(StepContext& /*step*/) {}
};

}  // namespace zevrin
