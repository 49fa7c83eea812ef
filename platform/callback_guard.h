// Where an exception stops: the first frame of every callback the system or
// the web control calls into (window procedure, keyboard hook, COM handlers)
// and of every thread we start. Nothing may unwind through their callers;
// what escaped is logged and the program carries on.
#pragma once

#include <exception>
#include <string_view>

namespace vesk::win {

// Writes "NATIVE unexpected exception: " + what. Never throws.
void log_unexpected_exception(std::string_view what) noexcept;

// Runs `body`; true when it returned normally.
template <typename Body>
bool run_guarded(Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (const std::exception& error) {
    log_unexpected_exception(error.what());
  } catch (...) {
    log_unexpected_exception("(not a std::exception)");
  }
  return false;
}

}  // namespace vesk::win
