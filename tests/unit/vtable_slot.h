// Which vtable slot a pointer to a virtual COM method calls, found by calling
// it on a stand-in object whose every vtable entry records its own index.
// Reading the member pointer's bits would tie the answer to one C++ ABI (the
// Itanium ABI of mingw g++ stores the slot's offset; Microsoft's points at a
// thunk); a call through it means the same under both. Arguments are
// value-initialised and never read: on x64 the caller owns the stack, so an
// entry taking none returns safely whatever the method's parameters.
// Each translation unit gets its own copy (the ABI test builds ours and
// Microsoft's declarations of the same names in two of them).
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {
namespace vtable_probe {

std::intptr_t last_called = -1;

template <std::size_t N>
HRESULT STDMETHODCALLTYPE entry() {
  last_called = static_cast<std::intptr_t>(N);
  return S_OK;
}

using Entry = HRESULT(STDMETHODCALLTYPE*)();
constexpr std::size_t kSlots = 160;  // more than the longest chain we declare

template <std::size_t... N>
std::array<Entry, sizeof...(N)> make_table(std::index_sequence<N...>) {
  return {&entry<N>...};
}

const std::array<Entry, kSlots>& table() {
  static const std::array<Entry, kSlots> entries = make_table(std::make_index_sequence<kSlots>());
  return entries;
}

}  // namespace vtable_probe

template <typename Result, typename Interface, typename... Args>
std::intptr_t vtable_slot(Result (STDMETHODCALLTYPE Interface::*method)(Args...)) {
  // An object is its vtable pointer and nothing else (the interfaces hold no data).
  static_assert(sizeof(Interface) == sizeof(void*));
  alignas(Interface) static unsigned char stand_in[sizeof(void*)];
  const vtable_probe::Entry* const vtable = vtable_probe::table().data();
  std::memcpy(stand_in, &vtable, sizeof vtable);
  vtable_probe::last_called = -1;
  (std::launder(reinterpret_cast<Interface*>(stand_in))->*method)(Args{}...);
  return vtable_probe::last_called;
}

}  // namespace
