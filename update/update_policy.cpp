#include "update/update_policy.h"

#include <array>
#include <cstdio>

namespace vesk {
namespace {

wchar_t ascii_upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool equals_ascii_upper(std::wstring_view text, std::wstring_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ascii_upper(text[i]) != upper[i]) return false;
  }
  return true;
}

// CON, NUL, COM1 and friends open devices whatever extension follows, and
// Windows ignores trailing spaces before the dot.
bool is_device_name(std::wstring_view name) {
  std::wstring_view base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  static constexpr std::array<std::wstring_view, 6> kPlain = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const std::wstring_view device : kPlain) {
    if (equals_ascii_upper(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const std::wstring_view stem = base.substr(0, 3);
  const wchar_t digit = base[3];
  const bool port_digit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                          digit == L'\u00B3';
  return port_digit && (equals_ascii_upper(stem, L"COM") || equals_ascii_upper(stem, L"LPT"));
}

bool is_safe_file_name(std::wstring_view name) {
  // Long enough for any real package, short enough that the temp folder
  // path stays within MAX_PATH.
  constexpr std::size_t kMaxName = 128;
  if (name.empty() || name.size() > kMaxName) return false;
  if (name.find(L"..") != std::wstring_view::npos) return false;
  // A trailing dot or space is dropped by Windows, so "a." would name "a".
  if (name.back() == L'.' || name.back() == L' ') return false;
  for (const wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) return false;
  }
  return !is_device_name(name);
}

}  // namespace

UpdateTarget choose_update_target(const UpdateManifest& manifest, bool is_installed_copy) {
  const ManifestArtifact* chosen = is_installed_copy ? &manifest.setup : &manifest.portable;
  if (chosen->url.empty()) chosen = is_installed_copy ? &manifest.portable : &manifest.setup;
  return UpdateTarget{chosen->url, chosen->sha256, chosen->size, chosen == &manifest.setup};
}

std::wstring download_file_name(std::wstring_view url) {
  url = url.substr(0, url.find(L'?'));
  const std::size_t slash = url.rfind(L'/');
  const std::wstring_view name = slash == std::wstring_view::npos ? url : url.substr(slash + 1);
  return is_safe_file_name(name) ? std::wstring(name) : std::wstring(kFallbackDownloadName);
}

std::string format_megabytes(std::int64_t bytes) {
  if (bytes <= 0) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
  return text;
}

bool skip_background_check(std::optional<std::uint32_t> last_check, std::uint32_t now) {
  return last_check && *last_check != 0 && *last_check <= now && now - *last_check < kUpdateCheckIntervalSeconds;
}

std::string format_update_log_line(const char* format, std::va_list args) {
  char buffer[512];
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  std::string line = "NATIVE update ";
  if (length > 0) line.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1));
  return line;
}

bool sha256_hex_matches(std::string_view actual, std::string_view expected) {
  if (actual.size() != expected.size()) return false;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (ascii_lower(actual[i]) != ascii_lower(expected[i])) return false;
  }
  return true;
}

bool is_web_link(std::string_view url) {
  const auto starts_with_scheme = [url](std::string_view scheme) {
    if (url.size() <= scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      if (ascii_lower(url[i]) != scheme[i]) return false;
    }
    return true;
  };
  return starts_with_scheme("https://") || starts_with_scheme("http://");
}

UpdatePromptText build_update_prompt(const UpdateManifest& manifest, const UpdateTarget& target) {
  UpdatePromptText prompt;
  prompt.instruction = "发现新版本 " + manifest.version;
  std::string& content = prompt.fallback_content;
  content = std::string("当前版本 ") + kAppVersion + "。";
  if (!manifest.updated_at.empty()) content += "\n更新时间：" + manifest.updated_at;
  const std::string size = format_megabytes(target.size);
  if (!size.empty()) content += "\n安装包大小：" + size;
  content += target.is_installer ? "\n\n当前是安装版：将下载安装包、验签并校验 SHA256 后静默安装并重启。"
                                 : "\n\n当前是绿色版：将下载并校验更新包，随后打开所在文件夹，解压覆盖即可。";
  prompt.content = content;
  // A quotation mark would end the href early and let the rest of the
  // address act as markup.
  if (is_web_link(manifest.notes_url) && manifest.notes_url.find('"') == std::string::npos) {
    prompt.has_link = true;
    prompt.content += "\n\n<a href=\"" + manifest.notes_url + "\">查看完整更新说明…</a>";
  }
  if (!manifest.notes_url.empty()) prompt.fallback_content += "\n\n更新说明：" + manifest.notes_url;
  return prompt;
}

std::optional<UpdateMessage> check_outcome_message(bool parsed, std::string_view error, int decision,
                                                   const UpdateManifest& manifest) {
  if (!parsed) return UpdateMessage{"检查更新失败", error.empty() ? "无法获取更新清单" : std::string(error)};
  switch (decision) {
    case kUpdateUnusable:
      return UpdateMessage{"检查更新失败", "更新清单缺少版本号或下载地址。"};
    case kUpdateCurrent:
      return UpdateMessage{"已是最新版本", std::string("当前版本 ") + kAppVersion + " 已经是最新版本。"};
    case kUpdateNeedsNewerOs:
      return UpdateMessage{"新版本不支持当前系统", "最新版本 " + manifest.version + " 需要 Windows " +
                                                       (manifest.min_os.empty() ? "10" : manifest.min_os) +
                                                       " 或更高。"};
    default:
      return std::nullopt;
  }
}

DownloadProgressView download_progress_view(std::int64_t downloaded, std::int64_t total) {
  const std::string amount = downloaded > 0 ? format_megabytes(downloaded) : "0 MB";
  if (total <= 0) return {"已下载 " + amount, std::nullopt};
  const std::int64_t percent = downloaded * 100 / total;
  return {std::to_string(percent) + "% — " + amount + " / " + format_megabytes(total), static_cast<int>(percent)};
}

}  // namespace vesk
