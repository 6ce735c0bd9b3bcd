// The reader process on POSIX systems: fork and exec (between the two only system calls that
// are safe in the child of a process with threads), the limits set in the child before the
// program starts, the answer read with poll in short slices.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

#include "import/assimp/ReaderProcess.h"
#include "util/Errors.h"

#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/syscall.h>
#if __has_include(<linux/landlock.h>) && defined(SYS_landlock_create_ruleset)
#include <linux/landlock.h>
#define ZEVRIN_LANDLOCK 1
#endif
#endif

// A sanitizer that maps shadow memory needs terabytes of address space: no limit on it then.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZEVRIN_SHADOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define ZEVRIN_SHADOW_MEMORY 1
#endif
#endif

namespace zevrin {
namespace {

using Clock = std::chrono::steady_clock;

// The longest the parent sleeps before it looks at the clock and the cancel flag again.
constexpr int kSliceMs = 20;
// Descriptors the child may have: the answer and the few files a reader opens.
constexpr rlim_t kChildDescriptors = 32;

[[noreturn]] void missing(const std::string& program) {
  throw ZevrinError(ErrorKind::ReaderMissing, program);
}

bool cancelled(const std::atomic<bool>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed);
}

int waitRetrying(pid_t pid, int* status, int options) {
  for (;;) {
    const pid_t r = waitpid(pid, status, options);
    if (r >= 0 || errno != EINTR) return static_cast<int>(r);
  }
}

#if defined(ZEVRIN_LANDLOCK)
// Beyond the size limit, which stops every write but not the making or truncating of files:
// where the kernel has Landlock, the child may change nothing in any file system. Only system
// calls, as between fork and exec they must be; without Landlock the limits stand alone.
void denyFileChanges() {
  constexpr std::uint64_t kTruncate = 1ULL << 14;  // LANDLOCK_ACCESS_FS_TRUNCATE, ABI 3
  const long abi =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi < 1) return;
  landlock_ruleset_attr rules{};
  rules.handled_access_fs = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                            LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                            LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                            LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                            LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (abi >= 2) rules.handled_access_fs |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rules.handled_access_fs |= kTruncate;
  const long ruleset = syscall(SYS_landlock_create_ruleset, &rules, sizeof rules, 0);
  if (ruleset < 0) return;
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0)
    syscall(SYS_landlock_restrict_self, static_cast<int>(ruleset), 0);
  close(static_cast<int>(ruleset));
}
#endif

}  // namespace

struct ReaderProcess::State {
  pid_t pid = -1;
  int answer = -1;  // the read end of the pipe
  Clock::time_point deadline;
  bool reaped = false;
  ProcessEnd end;
  std::uint64_t answer_limit = UINT64_MAX;

  int msLeft() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kSliceMs));
  }
  bool pastDeadline() const { return Clock::now() >= deadline; }

  void closeAnswer() {
    if (answer >= 0) close(answer);
    answer = -1;
  }
  // Kills the child and waits for it; `how` is what End() reports afterwards.
  void killAndReap(ProcessEnd::Kind how) {
    if (!reaped) {
      kill(pid, SIGKILL);
      int status = 0;
      waitRetrying(pid, &status, 0);
      reaped = true;
      end = ProcessEnd{how, 0};
    }
    closeAnswer();
  }
  void takeStatus(int status) {
    reaped = true;
    if (WIFSIGNALED(status))
      end = ProcessEnd{ProcessEnd::Kind::Signalled, WTERMSIG(status)};
    else
      end = ProcessEnd{ProcessEnd::Kind::Exited, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
};

ReaderProcess::ReaderProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const ProcessLimits& limits)
    : state_(std::make_unique<State>()) {
  struct stat info {};
  if (stat(program.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      access(program.c_str(), X_OK) != 0)
    missing(program);

  // Everything the child needs is made before the fork: it may not allocate.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const double seconds = std::max(limits.Seconds, 0.0);
  rlim_t cpu = RLIM_INFINITY;
  if (seconds < 1e9) cpu = static_cast<rlim_t>(std::ceil(seconds)) + 1;
  rlim_t address_space = RLIM_INFINITY;
#if !defined(ZEVRIN_SHADOW_MEMORY)
  if (limits.AddressSpaceBytes > 0) address_space = static_cast<rlim_t>(limits.AddressSpaceBytes);
#endif
  struct rlimit open_files {};
  getrlimit(RLIMIT_NOFILE, &open_files);
  const long highest_descriptor =
      open_files.rlim_cur == RLIM_INFINITY ? 65536 : static_cast<long>(open_files.rlim_cur);
  const pid_t parent = getpid();

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) missing(program);
#if defined(F_SETPIPE_SZ)
  // Fewer, larger reads: a million faces are some tens of megabytes.
  fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
#endif

  // No handler of the parent may run in the child before exec: every signal is blocked across
  // the fork, and the child sets every disposition back to the default first.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  const pid_t pid = fork();
  if (pid == 0) {
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    for (int s = 1; s < NSIG; ++s) sigaction(s, &plain, nullptr);
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
#else
    (void)parent;
#endif
    // The answer's write end becomes descriptor 3, and every other descriptor is closed.
    const int write_end = fds[1];
    if (write_end == kAnswerDescriptor) {
      if (fcntl(write_end, F_SETFD, 0) != 0) _exit(127);
    } else if (dup2(write_end, kAnswerDescriptor) != kAnswerDescriptor) {
      _exit(127);
    }
    for (int fd = 0; fd < kAnswerDescriptor; ++fd) close(fd);
#if defined(__linux__)
    if (close_range(kAnswerDescriptor + 1, ~0U, 0) != 0)
#endif
      for (long fd = kAnswerDescriptor + 1; fd < highest_descriptor; ++fd)
        close(static_cast<int>(fd));
    const struct rlimit none { 0, 0 };
    setrlimit(RLIMIT_CORE, &none);
    setrlimit(RLIMIT_FSIZE, &none);
    const struct rlimit descriptors { kChildDescriptors, kChildDescriptors };
    setrlimit(RLIMIT_NOFILE, &descriptors);
    const struct rlimit cpu_time { cpu, cpu == RLIM_INFINITY ? cpu : cpu + 1 };
    setrlimit(RLIMIT_CPU, &cpu_time);
    if (address_space != RLIM_INFINITY) {
      const struct rlimit memory { address_space, address_space };
      if (setrlimit(RLIMIT_AS, &memory) != 0) _exit(127);
    }
#if defined(ZEVRIN_LANDLOCK)
    denyFileChanges();
#endif
    sigset_t none_blocked;
    sigemptyset(&none_blocked);
    sigprocmask(SIG_SETMASK, &none_blocked, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  const int fork_error = errno;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    errno = fork_error;
    missing(program);
  }
  state_->pid = pid;
  state_->answer = fds[0];
  state_->answer_limit = limits.AnswerBytes;
  const auto span = std::chrono::duration<double>(std::min(seconds, 1e9));
  state_->deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(span);
}

ReaderProcess::~ReaderProcess() { state_->killAndReap(ProcessEnd::Kind::Cancelled); }

bool ReaderProcess::ReadAnswer(const std::function<void(const char*, std::size_t)>& take,
                               const std::atomic<bool>* cancel) {
  State& s = *state_;
  if (s.answer < 0)  // read already, or the child killed
    return !s.reaped || s.end.How == ProcessEnd::Kind::Exited ||
           s.end.How == ProcessEnd::Kind::Signalled;
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  const std::unique_ptr<char[]> chunk(new char[kChunk]);
  std::uint64_t taken = 0;
  for (;;) {
    if (cancelled(cancel)) {
      s.killAndReap(ProcessEnd::Kind::Cancelled);
      return false;
    }
    if (s.pastDeadline()) {
      s.killAndReap(ProcessEnd::Kind::TimedOut);
      return false;
    }
    pollfd p{s.answer, POLLIN, 0};
    const int ready = poll(&p, 1, std::max(s.msLeft(), 1));
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) break;
    const ssize_t n = read(s.answer, chunk.get(), kChunk);
    if (n > 0) {
      take(chunk.get(), static_cast<std::size_t>(n));
      taken += static_cast<std::uint64_t>(n);
      if (taken >= s.answer_limit) break;
      continue;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    break;  // end of file, or an error that ends the answer as well
  }
  s.closeAnswer();
  return true;
}

ProcessEnd ReaderProcess::End(const std::atomic<bool>* cancel, bool kill_first) {
  State& s = *state_;
  if (s.reaped) return s.end;
  if (kill_first) kill(s.pid, SIGKILL);
  int slice = 1;
  for (;;) {
    int status = 0;
    const int r = waitRetrying(s.pid, &status, WNOHANG);
    if (r == s.pid) {
      s.takeStatus(status);
      break;
    }
    if (r < 0) {  // someone else reaped it (SIGCHLD ignored): its end is not known
      s.reaped = true;
      s.end = ProcessEnd{ProcessEnd::Kind::Exited, -1};
      break;
    }
    if (cancelled(cancel)) {
      s.killAndReap(ProcessEnd::Kind::Cancelled);
      break;
    }
    if (s.pastDeadline()) {
      s.killAndReap(ProcessEnd::Kind::TimedOut);
      break;
    }
    poll(nullptr, 0, std::min(slice, std::max(s.msLeft(), 1)));
    slice = std::min(slice * 2, kSliceMs);
  }
  s.closeAnswer();
  return s.end;
}

std::string ReaderProcess::SignalName(int signal) {
  struct Named {
    int number;
    const char* name;
  };
  static const Named kNames[] = {
      {SIGSEGV, "SIGSEGV"}, {SIGABRT, "SIGABRT"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
      {SIGILL, "SIGILL"},   {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"}, {SIGXCPU, "SIGXCPU"},
      {SIGXFSZ, "SIGXFSZ"}, {SIGPIPE, "SIGPIPE"}, {SIGSYS, "SIGSYS"},   {SIGTRAP, "SIGTRAP"},
      {SIGINT, "SIGINT"},   {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"}, {SIGALRM, "SIGALRM"},
      {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"},
  };
  for (const Named& n : kNames)
    if (n.number == signal) return n.name;
  return "signal " + std::to_string(signal);
}

}  // namespace zevrin
