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
  Unsafe,   // a path we never hand to the file system or the shell
  Network,  // a path on another machine: the reader is asked first
};

struct LinkAction {
  LinkKind kind = LinkKind::Ignore;
  // The trimmed link (System), the path (Local, Network, and Unsafe when it
  // names a program) or empty.
  std::string target;
  std::string host;  // Network: the machine the path names
};

// `document_dir` resolves relative paths; empty means the current folder.
// Decides everything that needs no disk: a path with control bytes, a device
// path, an NTFS stream or a program is Unsafe; a path on another machine than
// the document's is Network, so that nothing connects there before the
// reader agrees.
LinkAction classify_link(std::string_view href, std::string_view document_dir);

// The machine of a path such as \\host\share\x or //host/x (either
// separator, as Windows accepts both); empty for a path on this machine.
std::string network_host(std::string_view path);

// "%20" and friends decoded byte-wise, "/" turned into "\". Decoded bytes are
// not looked at again, so an encoded slash stays a slash.
std::string decode_link_path(std::string_view text);

// The host with every label that holds non-ASCII letters in its ASCII
// (punycode, "xn--") form, as the network sees it.
std::string ascii_host(std::string_view host);

// The question asked before a link to another machine is followed: the host
// as typed and, when it holds non-ASCII letters, its ASCII form.
std::string network_question_text(std::string_view host);

// Programs, scripts and the files that run code when the shell opens them
// (shortcuts, installers, disk images, help files, Office add-ins…). Links to
// them are refused: a downloaded document must not start a program with one
// click. Windows ignores trailing dots and spaces in names, so those do not
// hide one. The Windows side also asks the system (AssocIsDangerous); this
// list stands on its own where the system knows less.
bool is_executable_path(std::string_view path);

// A ":" after the drive part names an alternate data stream, which the shell
// may run whatever the name's extension says.
bool names_stream(std::string_view path);

}  // namespace vesk::win
