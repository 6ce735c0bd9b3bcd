// What the C++ library of Debian's emscripten (3.1.6) lacks of C++20 and the code uses:
// std::bit_cast and std::jthread (used only to join on destruction). Put in front of every
// source of the WebAssembly build (cmake/Wasm.cmake) and nowhere else; each piece steps
// aside where the library has it.
#pragma once

#include <version>

#ifdef __cplusplus
#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From));
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif

#if !defined(__cpp_lib_jthread)
#include <thread>
#include <utility>
namespace std {
class jthread {
 public:
  jthread() noexcept = default;
  template <class F, class... Args>
  explicit jthread(F&& f, Args&&... args)
      : thread_(std::forward<F>(f), std::forward<Args>(args)...) {}
  jthread(jthread&&) noexcept = default;
  jthread& operator=(jthread&& other) noexcept {
    if (thread_.joinable()) thread_.join();
    thread_ = std::move(other.thread_);
    return *this;
  }
  ~jthread() {
    if (thread_.joinable()) thread_.join();
  }
  bool joinable() const noexcept { return thread_.joinable(); }
  void join() { thread_.join(); }

 private:
  std::thread thread_;
};
}  // namespace std
#endif
#endif
