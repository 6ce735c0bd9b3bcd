#include "bench/BenchGen.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "util/DoubleChars.h"
#include "util/FlatHash.h"
#include "util/Ustrlib.h"

namespace zevrin::bench {
namespace {

// Text gathered in blocks and written to a file as each block fills.
class BlockFile {
 public:
  explicit BlockFile(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
    if (!f_) throw std::runtime_error("cannot create " + path);
    buf_.reserve(kBlock + 4096);
  }
  ~BlockFile() {
    if (f_) std::fclose(f_);
  }
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  BlockFile& operator<<(std::string_view s) {
    buf_.append(s);
    if (buf_.size() >= kBlock) flush();
    return *this;
  }
  BlockFile& operator<<(long long v) {
    char b[24];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return *this << std::string_view(b, static_cast<std::size_t>(r.ptr - b));
  }
  BlockFile& operator<<(std::size_t v) { return *this << static_cast<long long>(v); }
  BlockFile& operator<<(int v) { return *this << static_cast<long long>(v); }
  // A real as Zevrin writes it.
  BlockFile& real(double v) { return *this << FloatToStr(v); }

  std::size_t Close() {
    flush();
    const bool ok = std::fclose(f_) == 0;
    f_ = nullptr;
    if (!ok) throw std::runtime_error("write failed");
    return written_;
  }

 private:
  static constexpr std::size_t kBlock = 4u << 20;
  void flush() {
    if (std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size())
      throw std::runtime_error("write failed");
    written_ += buf_.size();
    buf_.clear();
  }
  std::FILE* f_;
  std::string buf_;
  std::size_t written_ = 0;
};

constexpr const char* kEol = "\r\n";

// Coordinates with the full fifteen digits that modellers write, and some short ones.
double gridX(std::size_t c) { return static_cast<double>(c) * 0.731058578630005; }
double gridY(std::size_t r) { return static_cast<double>(r) * 0.414213562373095 - 3.5; }
double gridZ(std::size_t r, std::size_t c) {
  return static_cast<double>((c * 7 + r * 13) % 17) * 0.0625 - 0.5;
}

// The 15-digit text of a value, read back: what a load of the written text holds.
double asWritten(double v) { return StrToFloat(FloatToStr(v)); }

struct Writer {
  BlockFile& out;
  std::size_t next_id = 1;

  void xyz(double x, double y, double z) {
    out.real(x) << " ";
    out.real(y) << " ";
    out.real(z) << kEol;
  }
  void bias(std::size_t id) {
    if (id % 4 == 0) {
      out << "0.25 0 -0.125" << kEol << "-0.25 0 0.125" << kEol;
    } else {
      out << "0" << kEol << "0" << kEol;
    }
  }
  // A point with coordinates of its own.
  std::size_t own(double x, double y, double z, unsigned flags = 0, double hook = 0) {
    const std::size_t id = next_id++;
    out << static_cast<long long>(flags) << " 0 " << id;
    if (flags & 0x1010u) out << " " << FloatToStr(hook);
    out << kEol;
    xyz(x, y, z);
    bias(id);
    return id;
  }
  // A point attached to `target`.
  std::size_t attached(std::size_t target, unsigned flags = 0, double hook = 0) {
    const std::size_t id = next_id++;
    out << static_cast<long long>(flags) << " 1 " << id;
    if (flags & 0x1010u) out << " " << FloatToStr(hook);
    out << kEol << target << kEol;
    bias(id);
    return id;
  }
};

void writeBone(BlockFile& out, const std::string& name, double x0, double y0, double x1, double y1,
               int color) {
  out << "[SEGMENT]" << kEol << "Name=" << name << kEol << "Pivot=";
  out.real(x0) << " ";
  out.real(y0) << " 0" << kEol << "End=";
  out.real(x1) << " ";
  out.real(y1) << " 0" << kEol << "RollHandle=";
  out.real(x0) << " ";
  out.real(y0) << " 1" << kEol << "BoneColor=" << color << " " << (255 - color) << " 64" << kEol;
}

}  // namespace

ModelStats WriteModelFile(const std::string& path, std::size_t points) {
  // Seams: chains of 50 two-point splines, a tenth of the points. The grid: R rows of C + 1
  // points and C columns of R attached points.
  constexpr std::size_t kChain = 50;
  const std::size_t chains = std::max<std::size_t>(1, points / 10 / (2 * kChain));
  const std::size_t grid = points > chains * 2 * kChain ? points - chains * 2 * kChain : 16;
  std::size_t rows = 2;
  while (2 * (rows + 1) * (rows + 1) + (rows + 1) <= grid) ++rows;
  const std::size_t cols = rows;
  const std::size_t bones = std::max<std::size_t>(8, points / 2000);

  ModelStats stats;
  BlockFile out(path);
  out << "[MODELFILE]" << kEol << "ProductVersion=5.0" << kEol << "Release=5.0 PC" << kEol;
  out << "[MATERIALS]" << kEol << "[MATERIAL]" << kEol << "Name=Skin" << kEol
      << "Diffuse=230 190 170" << kEol << "Specular=0.25" << kEol << "[ENDMATERIAL]" << kEol
      << "[ENDMATERIALS]" << kEol;
  out << "[MODEL]" << kEol << "Name=bench" << kEol;
  // The box of the half: X from 0 outwards.
  {
    const double hx = asWritten(gridX(cols));
    const double ly = asWritten(std::min(gridY(0), -0.5 * static_cast<double>(chains + 1)));
    const double hy = asWritten(gridY(rows - 1));
    const double c[8][3] = {{hx, hy, 0.5}, {hx, hy, -1.5}, {hx, ly, -1.5}, {hx, ly, 0.5},
                            {0, hy, 0.5},  {0, hy, -1.5},  {0, ly, -1.5},  {0, ly, 0.5}};
    out << "Bounds=";
    for (int k = 0; k < 8; ++k) {
      for (int a = 0; a < 3; ++a) {
        if (k + a > 0) out << " ";
        out.real(c[k][a]);
      }
    }
    out << kEol;
  }
  out << "[MESH]" << kEol << "Version=2" << kEol << "Splines=" << (rows + cols + chains * kChain)
      << kEol;
  Writer w{out};
  std::vector<std::size_t> row_ids(rows * (cols + 1));
  // Rows: from the plane outwards; every 32nd point a hook halfway to its successor.
  for (std::size_t r = 0; r < rows; ++r) {
    out << "CPs=" << (cols + 1) << kEol;
    for (std::size_t c = 0; c <= cols; ++c) {
      const bool hook = c % 32 == 16 && c < cols;
      row_ids[r * (cols + 1) + c] =
          w.own(gridX(c), gridY(r), gridZ(r, c), hook ? 0x90u : (c % 5 == 0 ? 1u : 0u), 0.5);
    }
  }
  // Columns: every point attached to the row point at its place, some of them hooks.
  for (std::size_t c = 1; c <= cols; ++c) {
    out << "CPs=" << rows << kEol;
    for (std::size_t r = 0; r < rows; ++r) {
      const bool hook = r % 16 == 8 && r + 1 < rows;
      w.attached(row_ids[r * (cols + 1) + c], hook ? 0x90u : 0u, 0.25);
    }
  }
  // Seams: two-point splines end to end, ends at exactly the same place but not attached.
  std::vector<std::vector<std::size_t>> seam_ids(chains);
  for (std::size_t k = 0; k < chains; ++k) {
    const double y = -0.5 * static_cast<double>(k + 1);
    for (std::size_t m = 0; m < kChain; ++m) {
      out << "CPs=2" << kEol;
      seam_ids[k].push_back(w.own(gridX(m), y, -1.5));
      seam_ids[k].push_back(w.own(gridX(m + 1), y, -1.5));
    }
  }
  out << "[ENDMESH]" << kEol;
  stats.points = w.next_id - 1;
  stats.splines = rows + cols + chains * kChain;

  // A group per seam, the ids in an order that is not the splines' own.
  for (std::size_t k = 0; k < chains; ++k) {
    std::vector<std::size_t>& ids = seam_ids[k];
    std::reverse(ids.begin() + static_cast<std::ptrdiff_t>(ids.size() / 2), ids.end());
    out << "[GROUP]" << kEol << "Name=seam" << k << kEol << "Count=" << ids.size() << kEol;
    for (std::size_t id : ids) out << id << kEol;
    out << "[ENDGROUP]" << kEol;
    ++stats.groups;
  }
  // Regions that join nothing: every 64th row.
  for (std::size_t r = 0; r < rows; r += 64) {
    out << "[GROUP]" << kEol << "Name=row" << r << kEol << "Count=" << (cols + 1) << kEol;
    for (std::size_t c = 0; c <= cols; ++c) out << row_ids[r * (cols + 1) + c] << kEol;
    out << "[ENDGROUP]" << kEol;
    ++stats.groups;
  }

  // The skeleton: a root bone on the plane holding chains of eight bones, alternately on the
  // plane and off it.
  writeBone(out, "hips", 0, 0, 0, 1, 200);
  std::size_t made = 1;
  for (std::size_t chain = 0; made < bones; ++chain) {
    const bool off = chain % 2 == 0;
    const std::size_t depth = std::min<std::size_t>(8, bones - made);
    for (std::size_t d = 0; d < depth; ++d) {
      const double x = off ? 0.5 + static_cast<double>(d) * 0.37 : 0.0;
      const double y = 1.0 + static_cast<double>(chain) * 0.01 + static_cast<double>(d) * 0.25;
      writeBone(out, (off ? "left_arm" : "spine") + std::to_string(chain) + "_" + std::to_string(d),
                x, y, off ? x + 0.37 : 0.0, y + 0.25, static_cast<int>((chain * 37 + d) % 256));
    }
    for (std::size_t d = 0; d < depth; ++d) out << "[ENDSEGMENT]" << kEol;
    made += depth;
  }
  out << "[ENDSEGMENT]" << kEol;
  stats.bones = made;

  out << "[DECALS]" << kEol << "[DECAL]" << kEol << "Name=label" << kEol << "Stamps=2" << kEol
      << "[ENDDECAL]" << kEol << "[ENDDECALS]" << kEol;
  out << "[ENDMODEL]" << kEol;
  out << "[ACTIONS]" << kEol << "[ACTION]" << kEol << "Name=walk" << kEol << "Length=30" << kEol
      << "[ENDACTION]" << kEol << "[ENDACTIONS]" << kEol;
  out << "[ENDMODELFILE]" << kEol;
  stats.bytes = out.Close();
  return stats;
}

std::size_t WriteDxfFile(const std::string& path, std::size_t faces) {
  const auto cells = (faces + 1) / 2;
  std::size_t width = 1;
  while (width * width < cells) ++width;
  const std::size_t height = (cells + width - 1) / width;
  BlockFile out(path);
  out << "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  0\nENDSEC\n";
  out << "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n8\n";
  for (int k = 0; k < 8; ++k)
    out << "  0\nLAYER\n  2\nLayer" << k << "\n 70\n0\n 62\n" << (k + 1) << "\n  6\nCONTINUOUS\n";
  out << "  0\nENDTAB\n  0\nENDSEC\n";
  out << "  0\nSECTION\n  2\nENTITIES\n";
  // Corner coordinates on a gently curved sheet; each corner written the same way every time
  // it occurs, so that shared corners meet exactly.
  const auto corner = [&](int k, std::size_t i, std::size_t j) {
    const double x = 100.0 + static_cast<double>(i) * 0.15625;
    const double y = 200.0 + static_cast<double>(j) * 0.3125;
    const double z = static_cast<double>((i * 31 + j * 17) % 97) * 0.0078125;
    out << " 1" << k << "\n";
    out.real(x) << "\n 2" << k << "\n";
    out.real(y) << "\n 3" << k << "\n";
    out.real(z) << "\n";
  };
  std::size_t made = 0;
  std::size_t handle = 0x100;
  for (std::size_t j = 0; j < height && made < faces; ++j) {
    const std::string layer = "Layer" + std::to_string(j * 8 / height);
    for (std::size_t i = 0; i < width && made < faces; ++i) {
      for (int half = 0; half < 2 && made < faces; ++half) {
        char h[24];
        std::snprintf(h, sizeof h, "%zX", handle++);
        out << "  0\n3DFACE\n  5\n" << h << "\n  8\n" << layer << "\n 62\n256\n";
        if (half == 0) {
          corner(0, i, j), corner(1, i + 1, j), corner(2, i + 1, j + 1), corner(3, i + 1, j + 1);
        } else {
          corner(0, i, j), corner(1, i + 1, j + 1), corner(2, i, j + 1), corner(3, i, j + 1);
        }
        ++made;
      }
    }
  }
  out << "  0\nENDSEC\n  0\nEOF\n";
  out.Close();
  return made;
}

namespace {

struct Grid {
  std::size_t rows = 0, cols = 0;
};

Grid gridShape(std::size_t faces) {
  if (faces < 2 || faces % 2) return {};
  const std::size_t quads = faces / 2;
  std::size_t rows = static_cast<std::size_t>(std::sqrt(static_cast<double>(quads)));
  while (rows * rows > quads) --rows;
  while ((rows + 1) * (rows + 1) <= quads) ++rows;
  while (quads % rows) --rows;
  return {rows, quads / rows};
}

// The corner (r, c) as its three coordinate texts.
std::array<std::string, 3> gridVertex(std::size_t r, std::size_t c) {
  const double rd = static_cast<double>(r), cd = static_cast<double>(c);
  const double x = 1000.0 + cd * 1.2345678 + 0.01 * std::sin(rd * 0.37);
  const double y = -500.0 + rd * 0.9876543 + 0.01 * std::cos(cd * 0.23);
  const double z = 25.0 * std::sin(cd * 0.05) * std::cos(rd * 0.07) +
                   0.001 * static_cast<double>((r * 7 + c * 13) % 11);
  std::array<std::string, 3> out;
  const double v[3] = {x, y, z};
  for (int k = 0; k < 3; ++k) {
    char b[64];
    std::snprintf(b, sizeof b, "%.6f", v[k]);
    out[static_cast<std::size_t>(k)] = b;
  }
  return out;
}

std::size_t bands(const Grid& g) {
  return std::max<std::size_t>(1, std::min<std::size_t>(8, g.rows));
}

}  // namespace

std::size_t WriteGridDxf(const std::string& path, std::size_t faces) {
  const Grid g = gridShape(faces);
  if (g.rows == 0) return 0;
  const std::size_t layers = bands(g);
  BlockFile out(path);
  const auto lo = gridVertex(0, 0), hi = gridVertex(g.rows, g.cols);
  out << "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n"
      << "  9\n$INSBASE\n 10\n0.0\n 20\n0.0\n 30\n0.0\n"
      << "  9\n$EXTMIN\n 10\n"
      << lo[0] << "\n 20\n"
      << lo[1] << "\n 30\n-30.0\n"
      << "  9\n$EXTMAX\n 10\n"
      << hi[0] << "\n 20\n"
      << hi[1] << "\n 30\n30.0\n"
      << "  0\nENDSEC\n";
  out << "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n" << layers << "\n";
  for (std::size_t i = 0; i < layers; ++i)
    out << "  0\nLAYER\n  2\nBAND" << i << "\n 70\n0\n 62\n" << (i + 1) << "\n  6\nCONTINUOUS\n";
  out << "  0\nENDTAB\n  0\nENDSEC\n";
  out << "  0\nSECTION\n  2\nENTITIES\n";
  const auto face = [&](const std::string& layer, const std::array<std::string, 3>& a,
                        const std::array<std::string, 3>& b, const std::array<std::string, 3>& c) {
    out << "  0\n3DFACE\n  8\n" << layer << "\n";
    const std::array<std::string, 3>* corners[4] = {&a, &b, &c, &c};
    for (int k = 0; k < 4; ++k) {
      for (int axis = 0; axis < 3; ++axis)
        out << " " << (axis + 1) << k << "\n"
            << (*corners[k])[static_cast<std::size_t>(axis)] << "\n";
    }
  };
  std::vector<std::array<std::string, 3>> prev, cur;
  for (std::size_t c = 0; c <= g.cols; ++c) prev.push_back(gridVertex(0, c));
  for (std::size_t r = 0; r < g.rows; ++r) {
    const std::string layer = "BAND" + std::to_string(r * layers / g.rows);
    cur.clear();
    for (std::size_t c = 0; c <= g.cols; ++c) cur.push_back(gridVertex(r + 1, c));
    for (std::size_t c = 0; c < g.cols; ++c) {
      face(layer, prev[c], prev[c + 1], cur[c + 1]);
      face(layer, prev[c], cur[c + 1], cur[c]);
    }
    std::swap(prev, cur);
  }
  out << "  0\nENDSEC\n  0\nEOF\n";
  out.Close();
  return 2 * g.rows * g.cols;
}

std::size_t WriteGridObj(const std::string& path, std::size_t faces) {
  const Grid g = gridShape(faces);
  if (g.rows == 0) return 0;
  const std::size_t layers = bands(g);
  BlockFile out(path);
  out << "# " << 2 * g.rows * g.cols << " triangles\n";
  for (std::size_t r = 0; r <= g.rows; ++r) {
    for (std::size_t c = 0; c <= g.cols; ++c) {
      const auto v = gridVertex(r, c);
      out << "v " << v[0] << " " << v[1] << " " << v[2] << "\n";
    }
  }
  const auto id = [&](std::size_t r, std::size_t c) { return r * (g.cols + 1) + c + 1; };
  std::size_t band = layers;
  for (std::size_t r = 0; r < g.rows; ++r) {
    if (r * layers / g.rows != band) {
      band = r * layers / g.rows;
      out << "g BAND" << band << "\n";
    }
    for (std::size_t c = 0; c < g.cols; ++c) {
      out << "f " << id(r, c) << " " << id(r, c + 1) << " " << id(r + 1, c + 1) << "\n";
      out << "f " << id(r, c) << " " << id(r + 1, c + 1) << " " << id(r + 1, c) << "\n";
    }
  }
  out.Close();
  return 2 * g.rows * g.cols;
}

std::string ReadWhole(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot open " + path);
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(n);
  return bytes;
}

namespace {

// Calls f(line) for every line of the text.
template <class F>
void forEachLine(std::string_view bytes, F&& f) {
  if (const void* nul = std::memchr(bytes.data(), 0, bytes.size()))
    bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p < end) {
    const char* q = p;
    while (q < end && *q != '\n' && *q != '\r') ++q;
    f(std::string_view(p, static_cast<std::size_t>(q - p)));
    if (q == end) break;
    if (*q == '\r' && q + 1 < end && q[1] == '\n') ++q;
    p = q + 1;
  }
}

bool parseNumber(std::string_view token, double& v) {
  const char* b = token.data();
  const char* e = b + token.size();
  if (b < e && *b == '+') ++b;
#if defined(__EMSCRIPTEN__)
  const auto r = ReadDouble(b, e, v);  // its library reads integers only
#else
  const auto r = std::from_chars(b, e, v);
#endif
  return r.ec == std::errc() && r.ptr == e;
}

}  // namespace

std::vector<std::string_view> SplitViews(std::string_view bytes) {
  std::vector<std::string_view> lines;
  lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
  forEachLine(bytes, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

FloorResult FloorSplit(const std::string& path) {
  const std::string bytes = ReadWhole(path);
  FloorResult r;
  forEachLine(bytes, [&](std::string_view line) {
    ++r.lines;
    r.checksum += static_cast<double>(line.size());
  });
  return r;
}

FloorResult FloorParse(const std::string& path) {
  const std::string bytes = ReadWhole(path);
  FloorResult r;
  forEachLine(bytes, [&](std::string_view line) {
    ++r.lines;
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos) line.remove_prefix(eq + 1);
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && line[i] == ' ') ++i;
      std::size_t j = i;
      while (j < line.size() && line[j] != ' ') ++j;
      double v;
      if (j > i && parseNumber(line.substr(i, j - i), v)) {
        ++r.numbers;
        r.checksum += v;
      }
      i = j;
    }
  });
  return r;
}

namespace {

// Open addressing from a 64-bit hash to an index, the key compared through a callback.
class FlatIndex {
 public:
  explicit FlatIndex(std::size_t expected) {
    std::size_t n = 16;
    while (n < 2 * expected) n *= 2;
    slots_.assign(n, Slot{});
    mask_ = n - 1;
  }
  // The index filed under an equal key, or `fresh` filed now.
  template <class Equal>
  std::uint32_t FindOrAdd(std::uint64_t hash, std::uint32_t fresh, Equal&& equal) {
    for (std::size_t s = hash & mask_;; s = (s + 1) & mask_) {
      Slot& slot = slots_[s];
      if (slot.index == kEmpty) {
        slot = {hash, fresh};
        return fresh;
      }
      if (slot.hash == hash && equal(slot.index)) return slot.index;
    }
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t index = kEmpty;
  };
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace

FloorResult FloorDxfWeldMerge(const std::string& path) {
  struct Face {
    double c[4][3];
    std::uint32_t layer;
    int corners;
  };
  std::vector<Face> faces;
  std::vector<std::string> layers;
  FloorResult r;
  {
    const std::string bytes = ReadWhole(path);
    faces.reserve(bytes.size() / 200);
    bool pending_code = true, in_face = false;
    int code = -1;
    Face face{};
    forEachLine(bytes, [&](std::string_view line) {
      ++r.lines;
      if (pending_code) {
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        std::from_chars(line.data(), line.data() + line.size(), code);
        pending_code = false;
        return;
      }
      pending_code = true;
      if (code == 0) {
        if (in_face) faces.push_back(face);
        in_face = line == "3DFACE";
        face = Face{};
        return;
      }
      if (!in_face) return;
      if (code == 8) {
        std::uint32_t k = 0;
        while (k < layers.size() && layers[k] != line) ++k;
        if (k == layers.size()) layers.emplace_back(line);
        face.layer = k;
      } else if (code >= 10 && code <= 33 && code % 10 <= 3) {
        double v = 0;
        if (parseNumber(line, v)) ++r.numbers;
        face.c[code % 10][code / 10 - 1] = v;
        if (code / 10 == 1) face.corners = std::max(face.corners, code % 10 + 1);
      }
    });
  }
  // Weld the corners by exact position, then merge the edges by their two welded corners.
  std::vector<std::array<double, 3>> vertices;
  vertices.reserve(faces.size());
  FlatIndex weld(faces.size() + 16);
  const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d == 0 ? 0.0 : d); };
  std::vector<std::uint32_t> corner_ids;
  corner_ids.reserve(faces.size() * 4);
  for (const Face& f : faces) {
    for (int k = 0; k < 4; ++k) {
      const double* c = f.c[k];
      const std::uint64_t h = MixBits(bits(c[0]) ^ MixBits(bits(c[1]) ^ MixBits(bits(c[2]))));
      const auto fresh = static_cast<std::uint32_t>(vertices.size());
      const std::uint32_t id = weld.FindOrAdd(h, fresh, [&](std::uint32_t i) {
        return vertices[i][0] == c[0] && vertices[i][1] == c[1] && vertices[i][2] == c[2];
      });
      if (id == fresh) vertices.push_back({c[0], c[1], c[2]});
      corner_ids.push_back(id);
    }
  }
  std::vector<std::uint64_t> edges;
  edges.reserve(faces.size() * 2);
  FlatIndex merge(faces.size() * 2 + 16);
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const std::uint32_t* v = &corner_ids[f * 4];
    const int n = v[2] == v[3] ? 3 : 4;
    for (int k = 0; k < n; ++k) {
      std::uint32_t a = v[k], b = v[(k + 1) % n];
      if (a > b) std::swap(a, b);
      const std::uint64_t key = (static_cast<std::uint64_t>(a) << 32) | b;
      const auto fresh = static_cast<std::uint32_t>(edges.size());
      if (merge.FindOrAdd(MixBits(key), fresh, [&](std::uint32_t i) { return edges[i] == key; }) ==
          fresh)
        edges.push_back(key);
    }
  }
  r.checksum = static_cast<double>(vertices.size() * 1000003 + edges.size() + layers.size());
  return r;
}

}  // namespace zevrin::bench
