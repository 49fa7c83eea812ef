# Writes a C++ source that holds one file's bytes, so a script edited as a
# file ships inside the executable:
#   cmake -DINPUT=<file> -DOUTPUT=<cpp> -DFUNCTION=<name> -P embed_file.cmake
# The function returns a std::string_view of the bytes, declared by the caller
# in namespace vesk::win.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${input_name}; edit that file instead.
#include <cstddef>
#include <string_view>

namespace vesk::win {
namespace {
// One extra zero byte keeps the array valid for an empty file.
const unsigned char kBytes[] = {
    ${bytes}0x00};
}  // namespace

std::string_view ${FUNCTION}() {
  return {reinterpret_cast<const char*>(kBytes), ${size}};
}

}  // namespace vesk::win
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE "${OUTPUT}.tmp")
