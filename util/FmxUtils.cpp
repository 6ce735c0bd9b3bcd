#include "util/FmxUtils.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "util/Errors.h"

namespace fs = std::filesystem;

namespace zevrin {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::size_t writeBytes(const char* data, std::size_t size, std::FILE* f, const WriteHook& write) {
  if (write) return write(data, size, f);
  return std::fwrite(data, 1, size, f);
}

// A name for a temporary file beside `target` that no other file has.
std::string temporaryNameBeside(const fs::path& target) {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  char suffix[20];
  std::snprintf(suffix, sizeof suffix, ".%08llx.tmp",
                static_cast<unsigned long long>(rng() & 0xffffffffULL));
  fs::path tmp = target;
  tmp += suffix;
  return tmp.string();
}

}  // namespace

bool FileExists(const std::string& path) {
  std::error_code ec;
  const auto st = fs::status(path, ec);
  return !ec && fs::exists(st) && !fs::is_directory(st);
}

std::string ReadFileBytes(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw ZevrinError(ErrorKind::CannotOpen, path);
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) throw ZevrinError(ErrorKind::CannotOpen, path);
  std::string bytes;
  const auto size = fs::file_size(path, ec);
  if (!ec && size > 0) {
    // Straight into place; a file that shrank meanwhile ends early, one that grew reads on.
    bytes.resize(static_cast<std::size_t>(size));
    const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), f.get());
    bytes.resize(n);
    if (n < static_cast<std::size_t>(size)) {
      if (std::ferror(f.get())) throw ZevrinError(ErrorKind::CannotRead, path);
      return bytes;
    }
  }
  char buf[1 << 16];
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
    bytes.append(buf, n);
    if (n < sizeof buf) break;
  }
  if (std::ferror(f.get())) throw ZevrinError(ErrorKind::CannotRead, path);
  return bytes;
}

FileBuffer ReadFileBuffer(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw ZevrinError(ErrorKind::CannotOpen, path);
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) throw ZevrinError(ErrorKind::CannotOpen, path);
  const auto size = fs::file_size(path, ec);
  FileBuffer out;
  std::size_t capacity = ec ? 0 : static_cast<std::size_t>(size);
  out.data.reset(new char[capacity + 1]);
  for (;;) {
    out.size += std::fread(out.data.get() + out.size, 1, capacity + 1 - out.size, f.get());
    if (out.size <= capacity || std::ferror(f.get())) break;
    // The file grew while it was read: go on with a larger buffer.
    capacity = 2 * capacity + (1 << 16);
    std::unique_ptr<char[]> larger(new char[capacity + 1]);
    std::memcpy(larger.get(), out.data.get(), out.size);
    out.data = std::move(larger);
  }
  if (std::ferror(f.get())) throw ZevrinError(ErrorKind::CannotRead, path);
  return out;
}

std::string ReadFileHead(const std::string& path, std::size_t bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw ZevrinError(ErrorKind::CannotOpen, path);
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) throw ZevrinError(ErrorKind::CannotOpen, path);
  std::string head(bytes, '\0');
  head.resize(std::fread(head.data(), 1, bytes, f.get()));
  if (std::ferror(f.get())) throw ZevrinError(ErrorKind::CannotRead, path);
  return head;
}

void WriteFileAtomically(const std::string& path,
                         const std::function<bool(const ByteSink&)>& produce,
                         const WriteHook& write) {
  fs::path target(path);
  std::error_code ec;
  // Replace the file a link points to, not the link.
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const auto st = fs::status(target, ec);
  const bool exists = !ec && fs::exists(st);
  // Renaming over a directory, a device or a pipe would destroy it: only files are replaced.
  if (exists && !fs::is_regular_file(st)) throw ZevrinError(ErrorKind::CannotCreate, path);

  std::string tmp;
  FilePtr f;
  for (int attempt = 0; attempt < 16 && !f; ++attempt) {
    tmp = temporaryNameBeside(target);
    // "x": fail rather than open a file that already exists (a name picked by another writer).
    f.reset(std::fopen(tmp.c_str(), "wbx"));
  }
  if (!f) throw ZevrinError(ErrorKind::CannotCreate, path);

  const auto fail = [&](ErrorKind kind) {
    f.reset();
    std::error_code ignore;
    fs::remove(tmp, ignore);
    throw ZevrinError(kind, path);
  };

  std::vector<char> buffer(1 << 20);
  std::setvbuf(f.get(), buffer.data(), _IOFBF, buffer.size());
  bool ok = false;
  try {
    ok = produce([&](const char* data, std::size_t size) {
      return writeBytes(data, size, f.get(), write) == size;
    });
  } catch (...) {
    // Whatever stopped the content half way, the temporary file goes with it.
    f.reset();
    std::error_code ignore;
    fs::remove(tmp, ignore);
    throw;
  }
  ok = ok && std::fflush(f.get()) == 0 && !std::ferror(f.get());
  if (!ok) fail(ErrorKind::CannotWrite);
  if (std::fclose(f.release()) != 0) fail(ErrorKind::CannotWrite);
  if (exists) {
    fs::permissions(tmp, st.permissions(), fs::perm_options::replace, ec);
  }
  fs::rename(tmp, target, ec);
  if (ec) fail(ErrorKind::CannotWrite);
}

void WriteLinesFile(const std::string& path, const LineList& lines, const WriteHook& write) {
  WriteFileAtomically(
      path,
      [&](const ByteSink& sink) {
        // Gather lines into large blocks: one write call per line costs more than the copy.
        std::string block;
        constexpr std::size_t kBlock = 1 << 20;
        block.reserve(kBlock + 4096);
        for (const std::string& line : lines) {
          block.append(line);
          block.append("\r\n", 2);
          if (block.size() >= kBlock) {
            if (!sink(block.data(), block.size())) return false;
            block.clear();
          }
        }
        return sink(block.data(), block.size());
      },
      write);
}

void CopyFile(const std::string& source, const std::string& destination, const WriteHook& write) {
  fs::path dest = fs::absolute(destination);
  std::error_code ec;
  if (fs::is_directory(dest, ec)) dest /= fs::path(source).filename();
  const std::string bytes = ReadFileBytes(source);
  WriteFileAtomically(
      dest.string(), [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); }, write);
}

std::string ProgramDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

}  // namespace zevrin
