# GoogleTest from Debian's source package, compiled with our toolchain so the
# same test sources build natively and with mingw.
set(VESK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
if(MSVC)
  # Windows threads; a cross build's probe may claim pthreads that are not there.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${VESK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# Registers a GoogleTest program with ctest. Natively every test case becomes
# a ctest entry; under an emulator (Wine) each start costs about a second, so
# the program runs once as a single entry, as it does in a cross build that
# cannot run it here (the msvc tier) and so cannot list its cases.
function(vesk_add_gtest target)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
