#include "app/links.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/ascii.h"

namespace vesk::win {
namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) < 0x21) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 0x21) text.remove_suffix(1);
  return text;
}

// The lower-cased scheme, or empty when the link has none.
std::string scheme_of(std::string_view link) {
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos) return {};
  const std::string_view before = link.substr(0, colon);
  if (before.find_first_of("/?#") != std::string_view::npos) return {};
  std::string scheme = ascii_lower(before);
  for (char c : scheme) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                         c == '-' || c == '.';
    if (!allowed) return {};
  }
  return scheme;
}

}  // namespace

std::string decode_link_path(std::string_view text) {
  std::string path;
  path.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex_digit_value(text[i + 1]) >= 0 &&
        hex_digit_value(text[i + 2]) >= 0) {
      path += static_cast<char>(hex_digit_value(text[i + 1]) * 16 + hex_digit_value(text[i + 2]));
      i += 2;
    } else {
      path += text[i] == '/' ? '\\' : text[i];
    }
  }
  return path;
}

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool has_drive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

// \\?\ and \\.\ reach devices and raw NT paths, and \??\ is the NT
// form itself: nothing a document has reason to link to.
bool is_device_path(std::string_view path) {
  if (path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
      (path[2] == '?' || path[2] == '.') && is_separator(path[3])) {
    return true;
  }
  return path.size() >= 4 && is_separator(path[0]) && path[1] == '?' && path[2] == '?' &&
         is_separator(path[3]);
}

// Everything that needs no disk to decide.
LinkAction checked_path(std::string path, std::string_view document_dir) {
  // The file system and the shell stop reading a name at a NUL, while our
  // own checks read all of it: "tool.exe%00.png" must not pass as a picture.
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) return {LinkKind::Unsafe, {}, {}};
  }
  if (is_device_path(path)) return {LinkKind::Unsafe, {}, {}};
  if (names_stream(path) || is_executable_path(path)) return {LinkKind::Unsafe, std::move(path), {}};
  std::string host = network_host(path);
  // Links beside a document on a share go where the document came from.
  if (!host.empty() && ascii_lower(host) != ascii_lower(network_host(document_dir))) {
    return {LinkKind::Network, std::move(path), std::move(host)};
  }
  return {LinkKind::Local, std::move(path), {}};
}

}  // namespace

std::string network_host(std::string_view path) {
  // Two separators or more, in any mix: Windows reads "\\\host" and "/\host"
  // as a share on that host too.
  std::size_t start = 0;
  while (start < path.size() && is_separator(path[start])) ++start;
  if (start < 2) return {};
  std::size_t end = start;
  while (end < path.size() && !is_separator(path[end])) ++end;
  return std::string(path.substr(start, end - start));
}

LinkAction classify_link(std::string_view href, std::string_view document_dir) {
  const std::string_view link = trim(href);
  if (link.empty() || link.front() == '#') return {};

  std::string scheme = scheme_of(link);
  if (scheme == "http" || scheme == "https" || scheme == "mailto") {
    return {LinkKind::System, std::string(link), {}};
  }
  if (scheme.size() == 1) scheme.clear();  // a drive letter

  if (scheme == "file") {
    std::string_view rest = link.substr(5);
    std::size_t slashes = 0;
    while (slashes < rest.size() && is_separator(rest[slashes])) ++slashes;
    // file:///C:/x is this machine's; file://host/x and file:////host/x
    // (and more slashes) name a share.
    std::string path;
    if (slashes == 3) {
      path = rest.substr(3);
    } else if (slashes >= 2) {
      path = "\\\\" + std::string(rest.substr(slashes));
    } else {
      path = rest;
    }
    return checked_path(decode_link_path(path), document_dir);
  }
  if (!scheme.empty()) return {LinkKind::Refused, {}, {}};

  const std::string_view remainder = link.substr(0, link.find_first_of("?#"));
  if (remainder.empty()) return {};
  const std::string decoded = decode_link_path(remainder);
  const bool absolute = is_separator(decoded.front()) || (decoded.size() > 1 && decoded[1] == ':');
  if (absolute || document_dir.empty()) return checked_path(decoded, document_dir);
  return checked_path(std::string(document_dir) + "\\" + decoded, document_dir);
}

bool is_executable_path(std::string_view path) {
  while (!path.empty() && (path.back() == '.' || path.back() == ' ' || is_separator(path.back()))) {
    path.remove_suffix(1);
  }
  const std::size_t separator = path.find_last_of("\\/");
  const std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = ascii_lower(name.substr(dot + 1));
  // Sorted, for the binary search below.
  static constexpr std::array<std::string_view, 110> kRunnable = {
      "ade", "adp", "appcontent-ms", "appinstaller", "application", "appref-ms", "appx",
      "appxbundle", "bat", "chm", "cmd", "com", "cpl", "crx", "deskthemepack", "diagcab",
      "diagcfg", "diagpkg", "dll", "exe", "gadget", "hlp", "hta", "img", "inf", "ins", "iso",
      "isp", "jar", "jnlp", "job", "js", "jse", "library-ms", "lnk", "mad", "maf", "mag", "mam",
      "maq", "mar", "mas", "mat", "mau", "mav", "maw", "mda", "mdb", "mde", "msc", "msh", "msh1",
      "msh2", "msi", "msix", "msixbundle", "msp", "mst", "ocx", "pif", "pl", "ppa", "ppam", "prf",
      "ps1", "ps1xml", "ps2", "ps2xml", "psc1", "psc2", "psd1", "psm1", "py", "pyc", "pyo", "pyw",
      "rb", "rdp", "reg", "scf", "scr", "sct", "search-ms", "searchconnector-ms",
      "settingcontent-ms", "shb", "shs", "sys", "theme", "themepack", "url", "vb", "vbe", "vbs",
      "vhd", "vhdx", "vsix", "vsto", "website", "wll", "ws", "wsb", "wsc", "wsf", "wsh", "xbap",
      "xla", "xlam", "xll", "xnk"};
  return std::binary_search(kRunnable.begin(), kRunnable.end(), extension);
}

namespace {

// UTF-8 to code points; false for anything that is not UTF-8.
bool code_points(std::string_view text, std::vector<std::uint32_t>& out) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    out.push_back(code);
    i += static_cast<std::size_t>(length);
  }
  return true;
}

// RFC 3492 with the parameters IDNA uses.
std::string punycode(const std::vector<std::uint32_t>& input) {
  constexpr std::uint64_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
  const auto digit = [](std::uint64_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26); };
  const auto adapt = [&](std::uint64_t delta, std::uint64_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint64_t k = 0;
    for (; delta > ((kBase - kTMin) * kTMax) / 2; k += kBase) delta /= kBase - kTMin;
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
  };
  std::string out;
  for (const std::uint32_t c : input) {
    if (c < 0x80) out += static_cast<char>(c);
  }
  const std::size_t basic = out.size();
  if (basic > 0) out += '-';
  std::uint64_t n = 0x80, delta = 0, bias = 72;
  for (std::size_t handled = basic; handled < input.size(); ++delta, ++n) {
    std::uint64_t next = UINT64_MAX;
    for (const std::uint32_t c : input) {
      if (c >= n && c < next) next = c;
    }
    delta += (next - n) * (handled + 1);
    n = next;
    for (const std::uint32_t c : input) {
      if (c < n) ++delta;
      if (c != n) continue;
      std::uint64_t q = delta;
      for (std::uint64_t k = kBase;; k += kBase) {
        const std::uint64_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
        if (q < t) break;
        out += digit(t + (q - t) % (kBase - t));
        q = (q - t) / (kBase - t);
      }
      out += digit(q);
      bias = adapt(delta, handled + 1, handled == basic);
      delta = 0;
      ++handled;
    }
  }
  return out;
}

}  // namespace

std::string ascii_host(std::string_view host) {
  std::string out;
  for (std::size_t start = 0; start <= host.size();) {
    const std::size_t dot = std::min(host.find('.', start), host.size());
    const std::string_view label = host.substr(start, dot - start);
    std::vector<std::uint32_t> points;
    const bool ascii = std::all_of(label.begin(), label.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii || !code_points(label, points)) {
      out.append(label);
    } else {
      out.append("xn--").append(punycode(points));
    }
    if (dot == host.size()) break;
    out += '.';
    start = dot + 1;
  }
  return out;
}

std::string network_question_text(std::string_view host) {
  // A look-alike name ("cоmpany" with a Cyrillic o) shows what it really is.
  const std::string ascii = ascii_host(host);
  const std::string shown = ascii == host ? std::string(host) : std::string(host) + "（" + ascii + "）";
  return "此链接指向网络位置 " + shown + "，打开时 Windows 可能会向它发送你的登录凭据。仍要打开吗？";
}

bool names_stream(std::string_view path) {
  return path.find(':', has_drive(path) ? 2 : 0) != std::string_view::npos;
}

}  // namespace vesk::win
