#include "view/SvgSurface.h"

#include <cstdint>

namespace zevrin {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Decodes the code point at the front of `s`; returns its byte length, or 0 when the bytes are
// not well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
std::size_t decodeUtf8(std::string_view s, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    min = 0x80;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    min = 0x800;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    min = 0x10000;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// Characters that XML 1.0 documents cannot contain, not even as references.
bool xmlForbidden(char32_t cp) {
  return (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF;
}

// Whether the label font draws `cp` at full width: the CJK blocks, Hangul and the full-width
// forms. Everything else, half-width katakana included, is narrow.
bool wide(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

// Label advance in pixels at `pixel_size`, as the raster picture lays it out.
std::int64_t labelWidth(std::string_view text, std::int64_t pixel_size) {
  std::int64_t width = 0;
  while (!text.empty()) {
    char32_t cp = 0;
    const std::size_t len = decodeUtf8(text, cp);
    if (len == 0) cp = 0xFFFD;
    width += wide(cp) ? pixel_size : (pixel_size + 1) / 2;
    text.remove_prefix(len == 0 ? 1 : len);
  }
  return width;
}

std::string hex(Rgb c) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "#";
  for (std::uint8_t v : {c.r, c.g, c.b}) {
    out += kDigits[v >> 4];
    out += kDigits[v & 15];
  }
  return out;
}

// The centre of pixel `v`: v + 0.5, written without floating point.
std::string centre(std::int32_t v) {
  const std::int64_t twice = 2 * static_cast<std::int64_t>(v) + 1;
  std::string out = twice < 0 ? "-" : "";
  out += std::to_string((twice < 0 ? -twice : twice) / 2);
  out += ".5";
  return out;
}

// `text` (UTF-8) made safe for XML character data and attribute values: markup characters
// become entities; bytes that are not UTF-8, and characters XML cannot carry, become U+FFFD.
std::string xmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t cp = 0;
    const std::size_t len = decodeUtf8(text, cp);
    if (len == 0 || xmlForbidden(cp)) {
      out += kReplacement;
    } else if (cp == '&') {
      out += "&amp;";
    } else if (cp == '<') {
      out += "&lt;";
    } else if (cp == '>') {
      out += "&gt;";
    } else if (cp == '"') {
      out += "&quot;";
    } else if (cp == '\'') {
      out += "&apos;";
    } else {
      out.append(text.substr(0, len));
    }
    text.remove_prefix(len == 0 ? 1 : len);
  }
  return out;
}

}  // namespace

SvgSurface::SvgSurface(std::int32_t width, std::int32_t height) : width_(width), height_(height) {}

void SvgSurface::SetPenColor(Rgb color) {
  if (color == pen_) return;
  CloseLine();
  pen_ = color;
}

void SvgSurface::MoveTo(std::int32_t x, std::int32_t y) {
  CloseLine();
  pen_x_ = x;
  pen_y_ = y;
}

void SvgSurface::LineTo(std::int32_t x, std::int32_t y) {
  if (points_.empty()) points_.emplace_back(pen_x_, pen_y_);
  points_.emplace_back(x, y);
  pen_x_ = x;
  pen_y_ = y;
}

void SvgSurface::TextOut(std::int32_t x, std::int32_t y, std::string_view text, Rgb color,
                         std::int32_t point_size) {
  if (text.empty()) return;
  // A polyline under way goes on after the label as a new element from the same point, so
  // that the label covers what was drawn before it and nothing after.
  CloseLine();
  const std::int64_t px = (std::int64_t{point_size} * 96 * 2 + 72) / (72 * 2);  // nearest
  const std::int64_t ascent = (px * 10 + 6) / 12;
  body_ += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(labelWidth(text, px)) + "\" height=\"" + std::to_string(px) +
           "\" fill=\"" + hex(fill_) + "\"/>\n";
  body_ += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y + ascent) +
           "\" fill=\"" + hex(color) + "\" font-size=\"" + std::to_string(point_size) + "pt\">" +
           xmlEscape(text) + "</text>\n";
}

void SvgSurface::FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                          Rgb color) {
  fill_ = color;
  if (x1 <= x0 || y1 <= y0) return;
  CloseLine();
  body_ += "<rect x=\"" + std::to_string(x0) + "\" y=\"" + std::to_string(y0) + "\" width=\"" +
           std::to_string(std::int64_t{x1} - x0) + "\" height=\"" +
           std::to_string(std::int64_t{y1} - y0) + "\" fill=\"" + hex(color) + "\"/>\n";
}

void SvgSurface::AppendOpenLine(std::string& out) const {
  if (points_.empty()) return;
  if (points_.size() == 2) {
    out += "<line x1=\"" + centre(points_[0].first) + "\" y1=\"" + centre(points_[0].second) +
           "\" x2=\"" + centre(points_[1].first) + "\" y2=\"" + centre(points_[1].second) +
           "\" stroke=\"" + hex(pen_) + "\"/>\n";
    return;
  }
  out += "<polyline points=\"";
  for (std::size_t i = 0; i < points_.size(); ++i) {
    if (i > 0) out += ' ';
    out += centre(points_[i].first) + "," + centre(points_[i].second);
  }
  out += "\" fill=\"none\" stroke=\"" + hex(pen_) + "\"/>\n";
}

void SvgSurface::CloseLine() {
  AppendOpenLine(body_);
  points_.clear();
}

std::string SvgSurface::Text() const {
  const std::string w = std::to_string(width_);
  const std::string h = std::to_string(height_);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
      "\" shape-rendering=\"crispEdges\" font-family=\"VL Gothic, monospace\" "
      "xml:space=\"preserve\">\n";
  out.reserve(out.size() + body_.size() + 64 * points_.size() + 8);
  out += body_;
  AppendOpenLine(out);
  out += "</svg>\n";
  return out;
}

}  // namespace zevrin
