// zevrin-assimp-reader FILE: reads FILE with Assimp and writes its faces, in the form of
// import/assimp/FaceStream.h, to descriptor 3. Zevrin starts it (AssimpPolygonReader), with the
// limits of ReaderProcess.h, so that whatever the library does with a malformed file (loop,
// crash, exhaust memory) happens here and not in Zevrin. It is no tool to run by hand.
//
// For the tests alone, ZEVRIN_READER_TEST_FAULT makes it misbehave, so that they can see what
// Zevrin makes of a reader that does (nothing else reads the variable):
//   hang        never answers            signal    dies of SIGSEGV
//   garbage     answers nonsense         truncate  gives half of the true answer
//   exit        exits 3 without answer   memory    allocates until refused
//   write:PATH  writes one byte to PATH  limits    refuses the file with its descriptors
//                                                   and resource limits as the reason
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "import/assimp/AssimpScene.h"
#include "import/assimp/FaceStream.h"
#include "import/assimp/ReaderPolicy.h"
#include "util/Errors.h"

namespace {

using namespace zevrin;

constexpr int kAnswer = 3;

bool writeAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(kAnswer, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string limitText(int resource) {
  struct rlimit r {};
  getrlimit(resource, &r);
  return r.rlim_cur == RLIM_INFINITY ? "unlimited" : std::to_string(r.rlim_cur);
}

// The misbehaviour the tests ask for; false: none, read the file.
bool misbehave(const std::string& fault, const std::string& path, FaceStreamWriter& out) {
  if (fault == "hang") {
    for (;;) pause();
  }
  if (fault == "signal") {
    signal(SIGSEGV, SIG_DFL);  // past any handler a sanitizer put there
    raise(SIGSEGV);
  }
  if (fault == "garbage") {
    writeAll("this is no answer\n", 18);
    return true;
  }
  if (fault == "exit") _exit(3);
  if (fault == "truncate") {
    std::string whole;
    FaceStreamWriter all([&](const char* data, std::size_t size) {
      whole.append(data, size);
      return true;
    });
    ReadAssimpScene(path, all);
    all.End();
    writeAll(whole.data(), whole.size() / 2);
    return true;
  }
  if (fault == "memory") {
    if (limitText(RLIMIT_AS) == "unlimited") {
      out.Error(facestream::kRefused, "no memory limit to run into");
      return true;
    }
    std::vector<std::unique_ptr<char[]>> hog;
    for (;;) hog.emplace_back(new char[std::size_t{64} << 20]);
  }
  if (fault.starts_with("write:")) {
    const int fd = open(fault.c_str() + 6, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, "x", 1) != 1) {
      out.Error(facestream::kRefused, std::string("cannot write: ") + std::strerror(errno));
      return true;
    }
    out.Error(facestream::kRefused, "wrote a byte");
    return true;
  }
  if (fault == "limits") {
    std::string open_descriptors;
    for (int fd = 0; fd < 1024; ++fd)
      if (fcntl(fd, F_GETFD) != -1)
        open_descriptors += (open_descriptors.empty() ? "" : ",") + std::to_string(fd);
    // Whether a file can be opened for writing at all (Landlock, where the kernel has it).
    const int null_device = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_device >= 0) close(null_device);
    out.Error(facestream::kRefused,
              "descriptors=" + open_descriptors + " write=" +
                  (null_device >= 0 ? "allowed" : "denied") + " core=" + limitText(RLIMIT_CORE) +
                  " fsize=" + limitText(RLIMIT_FSIZE) + " nofile=" + limitText(RLIMIT_NOFILE) +
                  " cpu=" + limitText(RLIMIT_CPU) + " as=" + limitText(RLIMIT_AS));
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string path = argv[1];
  AnswerRefusedAllocationsAsOutOfMemory();
  FaceStreamWriter out(writeAll);
  const char* fault = std::getenv("ZEVRIN_READER_TEST_FAULT");
  if (fault) {
    AnswerWith(out, [&] {
      if (!misbehave(fault, path, out)) {
        ReadAssimpScene(path, out);
        out.End();
      }
    });
  } else {
    AnswerFile(path, out);
  }
  // The answer is whole once the pipe is closed; the scene need not be taken apart.
  close(kAnswer);
  _exit(0);
}
