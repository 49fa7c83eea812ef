#include "app/links.h"

#include <array>

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

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string decode_link_path(std::string_view text) {
  std::string path;
  path.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
        hex_value(text[i + 2]) >= 0) {
      path += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      path += text[i] == '/' ? '\\' : text[i];
    }
  }
  return path;
}

LinkAction classify_link(std::string_view href, std::string_view document_dir) {
  const std::string_view link = trim(href);
  if (link.empty() || link.front() == '#') return {};

  std::string scheme = scheme_of(link);
  if (scheme == "http" || scheme == "https" || scheme == "mailto") {
    return {LinkKind::System, std::string(link)};
  }
  if (scheme.size() == 1) scheme.clear();  // a drive letter

  if (scheme == "file") {
    std::string_view rest = link.substr(5);
    std::string path;
    if (rest.substr(0, 3) == "///") {
      path = rest.substr(3);
    } else if (rest.substr(0, 2) == "//") {
      path = "\\\\" + std::string(rest.substr(2));
    } else {
      path = rest;
    }
    return {LinkKind::Local, decode_link_path(path)};
  }
  if (!scheme.empty()) return {LinkKind::Refused, {}};

  const std::string_view remainder = link.substr(0, link.find_first_of("?#"));
  if (remainder.empty()) return {};
  const std::string decoded = decode_link_path(remainder);
  const bool absolute = decoded.front() == '\\' || (decoded.size() > 1 && decoded[1] == ':');
  if (absolute || document_dir.empty()) return {LinkKind::Local, decoded};
  return {LinkKind::Local, std::string(document_dir) + "\\" + decoded};
}

bool is_executable_path(std::string_view path) {
  while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
  const std::size_t separator = path.find_last_of("\\/");
  const std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = ascii_lower(name.substr(dot + 1));
  static constexpr std::array<std::string_view, 21> kRunnable = {
      "exe", "bat", "cmd", "com", "scr", "pif", "msi", "ps1", "vbs", "vbe", "js",
      "jse", "wsf", "wsh", "hta", "cpl", "lnk", "reg", "jar", "msc", "msp"};
  for (std::string_view runnable : kRunnable) {
    if (extension == runnable) return true;
  }
  return false;
}

}  // namespace vesk::win
