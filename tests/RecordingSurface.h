// A drawing surface for tests: keeps one line of text for every call, and follows the pen so
// that the lines come out as the segments a picture would show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "view/Surface.h"

namespace zevrin::test {

inline std::string hexColor(Rgb c) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "#";
  for (std::uint8_t v : {c.r, c.g, c.b}) {
    out += kDigits[v >> 4];
    out += kDigits[v & 15];
  }
  return out;
}

class RecordingSurface : public DrawSurface {
 public:
  struct Segment {
    std::int32_t x0, y0, x1, y1;
    Rgb color;
    friend bool operator==(const Segment&, const Segment&) = default;
  };

  // "pen #808080", "move 200,0", "line 200,300", "text 5,6 #008000 9pt 12",
  // "fill 0,0 400,300 #000000".
  std::vector<std::string> Log;
  std::vector<Segment> Segments;

  void SetPenColor(Rgb color) override {
    Log.push_back("pen " + hexColor(color));
    pen_ = color;
  }
  void MoveTo(std::int32_t x, std::int32_t y) override {
    Log.push_back("move " + point(x, y));
    x_ = x;
    y_ = y;
  }
  void LineTo(std::int32_t x, std::int32_t y) override {
    Log.push_back("line " + point(x, y));
    Segments.push_back({x_, y_, x, y, pen_});
    x_ = x;
    y_ = y;
  }
  void TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
               std::int32_t point_size) override {
    Log.push_back("text " + point(x, y) + " " + hexColor(color) + " " + std::to_string(point_size) +
                  "pt " + std::string(text));
  }
  void FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                Rgb color) override {
    Log.push_back("fill " + point(x0, y0) + " " + point(x1, y1) + " " + hexColor(color));
  }

 private:
  static std::string point(std::int32_t x, std::int32_t y) {
    return std::to_string(x) + "," + std::to_string(y);
  }
  Rgb pen_{0, 0, 0};
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
};

}  // namespace zevrin::test
