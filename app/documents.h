// Document texts of the Windows shell: the caption, the unsaved-changes
// question and its automated answer. The path and line-end rules live with
// DocumentSession. Portable; the Windows side calls these.
#pragma once

#include <string>
#include <string_view>

#include "core/document_session.h"

namespace vesk::win {

// Shown when samples\welcome.md is missing or empty.
inline constexpr std::string_view kWelcomeFallback = "# 欢迎\n\n没有找到内置示例文档。\n";
inline constexpr std::string_view kUntitledName = "未命名";

// The path and line-end rules, where the shell has always called them.
using vesk::contains_crlf;
using vesk::parent_directory;
using vesk::restore_crlf;
using vesk::strip_utf8_bom;

// "未命名" for an untitled document, else the file name.
std::string display_name(std::string_view document_path);
// "<name>[*] - Vesk".
std::string caption_text(std::string_view display_name, bool dirty);
// The unsaved-changes question's content line.
std::string unsaved_question_text(std::string_view display_name);

enum class UnsavedAnswer { Save = 0, Discard = 1, Cancel = 2 };
// The answer VESK_ANSWER gives without asking: exactly "save", "discard" or
// "cancel". Anything else means the question must be shown.
bool answer_from_environment(std::string_view value, UnsavedAnswer& answer);

}  // namespace vesk::win
