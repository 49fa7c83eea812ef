#include "app/documents.h"

#include "core/paths.h"

namespace vesk::win {

std::string display_name(std::string_view document_path) {
  if (document_path.empty()) return std::string(kUntitledName);
  return path_file_name(document_path);
}

std::string caption_text(std::string_view display_name, bool dirty) {
  std::string caption(display_name);
  if (dirty) caption += '*';
  caption += " - Vesk";
  return caption;
}

std::string unsaved_question_text(std::string_view display_name) {
  std::string text = "“";
  text.append(display_name);
  text += "”有尚未保存的修改，是否保存？";
  return text;
}

bool answer_from_environment(std::string_view value, UnsavedAnswer& answer) {
  if (value == "save") {
    answer = UnsavedAnswer::Save;
  } else if (value == "discard") {
    answer = UnsavedAnswer::Discard;
  } else if (value == "cancel") {
    answer = UnsavedAnswer::Cancel;
  } else {
    return false;
  }
  return true;
}

}  // namespace vesk::win
