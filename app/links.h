// What following a link from the page means, decided from its text: hand it
// to the system, open a local file, leave it to the page, or refuse it.
#pragma once

#include <string>
#include <string_view>

namespace vesk::win {

enum class LinkKind {
  Ignore,   // empty, or an anchor inside the page
  System,   // http, https, mailto: the system's default handler
  Refused,  // any other scheme
  Local,    // a file or folder path, to be checked on disk
};

struct LinkAction {
  LinkKind kind = LinkKind::Ignore;
  std::string target;  // the trimmed link (System) or the local path (Local)
};

// `document_dir` resolves relative paths; empty means the current folder.
LinkAction classify_link(std::string_view href, std::string_view document_dir);

// "%20" and friends decoded byte-wise, "/" turned into "\". Decoded bytes are
// not looked at again, so an encoded slash stays a slash.
std::string decode_link_path(std::string_view text);

// Programs and scripts that the shell's "open" would run. Links to them are
// refused: a downloaded document must not start a program with one click.
// Windows ignores trailing dots and spaces in names, so those do not hide one.
bool is_executable_path(std::string_view path);

}  // namespace vesk::win
