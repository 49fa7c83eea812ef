#include "app/documents.h"

namespace vesk::win {

std::string parent_directory(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return std::string(path.substr(0, 1));
  return std::string(path.substr(0, slash));
}

std::string file_name_part(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string display_name(std::string_view document_path) {
  if (document_path.empty()) return std::string(kUntitledName);
  return file_name_part(document_path);
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

void strip_utf8_bom(std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
}

bool contains_crlf(std::string_view bytes) { return bytes.find("\r\n") != std::string_view::npos; }

std::string restore_crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
       lf = text.find('\n', lf + 1)) {
    out.append(text.substr(start, lf - start));
    if (lf == 0 || text[lf - 1] != '\r') out += '\r';
    out += '\n';
    start = lf + 1;
  }
  out.append(text.substr(start));
  return out;
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
