// Writes mutated copies of polygon files, the same ones for the same arguments on any machine:
// flipped bytes, cut ends, repeated and deleted runs, and "-1", "nan", "1e308" and the like
// put in. tests/assimp_mutations.sh runs them through `zevrin info`.
//
//   mutate_polygons OUT_DIR PER_SEED SEED FILE...
//
// writes PER_SEED mutations of each FILE into OUT_DIR as NAME_k.EXT (the extension kept, so
// that each goes to the reader of its format).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The draws of std::mt19937 are the same everywhere; the library's distributions are not, so
// the numbers are taken from it directly.
class Draw {
 public:
  explicit Draw(std::uint32_t seed) : engine_(seed) {}
  // 0 .. n-1 (n > 0).
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }

 private:
  std::mt19937 engine_;
};

using namespace std::string_view_literals;
const std::string_view kTokens[] = {"-1"sv,    "nan"sv,        "1e308"sv, "-1e308"sv,
                                    "0"sv,     "4294967295"sv, "inf"sv,   "-2147483648"sv,
                                    "65535"sv, " "sv,          "\n"sv,    "\0"sv};

// FNV-1a: the same number for the same name everywhere (std::hash is not).
std::uint32_t nameHash(const std::string& name) {
  std::uint32_t h = 2166136261u;
  for (const unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

void mutate(std::string& bytes, Draw& draw) {
  const std::size_t size = bytes.size();
  const std::size_t at = size ? draw.Below(size) : 0;
  switch (draw.Below(6)) {
    case 0:  // flip one to three bits of a byte
      if (size) {
        const std::size_t bits = 1 + draw.Below(3);
        for (std::size_t b = 0; b < bits; ++b)
          bytes[at] = static_cast<char>(bytes[at] ^ (1 << draw.Below(8)));
      }
      break;
    case 1:  // cut the rest off
      bytes.resize(at);
      break;
    case 2: {  // repeat a run one to eight times
      const std::size_t length = 1 + draw.Below(std::min<std::size_t>(64, size - at + 1));
      const std::string run = bytes.substr(at, length);
      const std::size_t times = 1 + draw.Below(8);
      for (std::size_t k = 0; k < times; ++k) bytes.insert(at, run);
      break;
    }
    case 3:  // put a token in
      bytes.insert(at, kTokens[draw.Below(std::size(kTokens))]);
      break;
    case 4: {  // put a token over what is there
      const std::string_view token = kTokens[draw.Below(std::size(kTokens))];
      bytes.replace(at, std::min(token.size(), size - at), token);
      break;
    }
    case 5:  // delete a run
      bytes.erase(at, 1 + draw.Below(32));
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: mutate_polygons OUT_DIR PER_SEED SEED FILE...\n");
    return 2;
  }
  const fs::path out = argv[1];
  const long per_seed = std::atol(argv[2]);
  const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
  fs::create_directories(out);
  std::size_t written = 0;
  for (int f = 4; f < argc; ++f) {
    const fs::path source = argv[f];
    const std::string original = readAll(source);
    for (long k = 0; k < per_seed; ++k) {
      // Each file has a draw of its own: adding a seed file changes none of the others.
      Draw draw(seed ^ (nameHash(source.filename().string()) + static_cast<std::uint32_t>(k)));
      std::string bytes = original;
      const std::size_t mutations = 1 + draw.Below(3);
      for (std::size_t m = 0; m < mutations; ++m) mutate(bytes, draw);
      const fs::path name =
          out / (source.stem().string() + "_" + std::to_string(k) + source.extension().string());
      std::ofstream(name, std::ios::binary) << bytes;
      ++written;
    }
  }
  std::printf("%zu files\n", written);
  return 0;
}
