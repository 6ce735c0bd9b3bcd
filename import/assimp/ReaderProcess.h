// A helper program run as a process of its own, with limits, that answers on a pipe: how the
// Assimp adapter keeps a library it does not control out of Zevrin's process. The interface is
// the platform's business alone; ReaderProcessPosix.cpp is the implementation for POSIX
// systems (fork and exec, resource limits, poll).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zevrin {

struct ProcessLimits {
  // Wall-clock seconds from the start, kept by the parent: past them the child is killed.
  double Seconds = 10;
  // The child's address space in bytes (RLIMIT_AS); 0: no limit. A build with a sanitizer that
  // reserves shadow memory sets none, whatever is asked.
  std::uint64_t AddressSpaceBytes = 0;
  // The most the answer may hold; past it the reading stops as if the child had closed it.
  std::uint64_t AnswerBytes = UINT64_MAX;
};

// How a child ended.
struct ProcessEnd {
  enum class Kind {
    Exited,     // Code: its exit status
    Signalled,  // Code: the signal that ended it
    TimedOut,   // the limit passed; the child was killed
    Cancelled,  // the cancel flag was set; the child was killed
  };
  Kind How = Kind::Exited;
  int Code = 0;
};

// One run. The child gets the program's arguments, the write end of the answer pipe (on POSIX
// as descriptor kAnswerDescriptor, the only one it has open), no core file, no file it may
// write (a file size limit of 0; on Linux with Landlock no file it may make, change or remove
// either), a handful of descriptors, a CPU-time limit a second past the wall clock and the
// address-space limit; on Linux it dies with the thread that started it. The destructor kills
// and reaps a child that is still there.
class ReaderProcess {
 public:
  static constexpr int kAnswerDescriptor = 3;

  // Starts `program`. Raises ReaderMissing (naming the program) when it is no executable file
  // or cannot be started.
  ReaderProcess(const std::string& program, const std::vector<std::string>& arguments,
                const ProcessLimits& limits);
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // Hands what the child writes to `take`, as it comes, until the child closes the pipe or
  // has written AnswerBytes (true), looking at the clock and at `cancel` (may be null) every
  // few milliseconds. False when the limit passed or the flag was set: the child has been
  // killed and reaped then, and End() tells which. What `take` raises goes to the caller.
  bool ReadAnswer(const std::function<void(const char* data, std::size_t size)>& take,
                  const std::atomic<bool>* cancel);

  // Waits for the child to end, within the same limit and watching the same flag; `kill`: end
  // it first (its answer is complete and it has nothing more to say). Returns at once after
  // the first call.
  ProcessEnd End(const std::atomic<bool>* cancel, bool kill = false);

  // The signal's name ("SIGSEGV"), or its number for one without a name known here.
  static std::string SignalName(int signal);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zevrin
