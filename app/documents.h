// Document rules decided from text alone: file-name helpers, the caption,
// byte order marks and line ends. Portable; the Windows side calls these.
#pragma once

#include <string>
#include <string_view>

namespace vesk::win {

// Shown when samples\welcome.md is missing or empty.
inline constexpr std::string_view kWelcomeFallback = "# 欢迎\n\n没有找到内置示例文档。\n";
inline constexpr std::string_view kUntitledName = "未命名";

// Text before the last "\" or "/"; the separator itself when it is the first
// character; empty without a separator. "C:\a.md" gives "C:".
std::string parent_directory(std::string_view path);
// Text after the last "\" or "/", or the whole text.
std::string file_name_part(std::string_view path);

// "未命名" for an untitled document, else the file name.
std::string display_name(std::string_view document_path);
// "<name>[*] - Vesk".
std::string caption_text(std::string_view display_name, bool dirty);
// The unsaved-changes question's content line.
std::string unsaved_question_text(std::string_view display_name);

// Drops a leading UTF-8 byte order mark, in place.
void strip_utf8_bom(std::string& bytes);
// The file uses CR LF line ends when the pair occurs anywhere.
bool contains_crlf(std::string_view bytes);
// Turns every LF that is not already preceded by CR into CR LF, so text that
// holds CR LF already is not corrupted into CR CR LF.
std::string restore_crlf(std::string_view text);

enum class UnsavedAnswer { Save = 0, Discard = 1, Cancel = 2 };
// The answer VESK_ANSWER gives without asking: exactly "save", "discard" or
// "cancel". Anything else means the question must be shown.
bool answer_from_environment(std::string_view value, UnsavedAnswer& answer);

}  // namespace vesk::win
