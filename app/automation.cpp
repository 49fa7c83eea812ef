#include "app/automation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/commands.h"

namespace vesk::win {

std::string normalize_startup_command(std::string_view value) {
  std::string name;
  for (char c : value) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) continue;
    name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return name;
}

std::optional<int> startup_command_id(std::string_view normalized) {
  static constexpr struct {
    std::string_view name;
    Command command;
  } kNames[] = {
      {"new", Command::New},
      {"open", Command::Open},
      {"save", Command::Save},
      {"saveas", Command::SaveAs},
      {"exporthtml", Command::ExportHtml},
      {"exportpdf", Command::ExportPdf},
      {"toggletoc", Command::ToggleToc},
      {"togglesource", Command::ToggleSource},
      {"toggledark", Command::DarkMode},
      {"followsystem", Command::FollowSystemTheme},
      {"zoomin", Command::ZoomIn},
      {"zoomout", Command::ZoomOut},
      {"zoomreset", Command::ActualSize},
      {"openfolder", Command::OpenFolder},
      {"togglefiles", Command::ToggleFiles},
      {"quickopen", Command::QuickOpen},
      {"searchfiles", Command::SearchFiles},
      {"newwindow", Command::NewWindow},
  };
  for (const auto& entry : kNames) {
    if (entry.name == normalized) return command_id(entry.command);
  }
  return std::nullopt;
}

std::vector<std::string> split_drop_paths(std::string_view value) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    if (end > start) paths.emplace_back(value.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

int snapshot_delay_ms(std::string_view value) {
  if (value.empty()) return 2000;
  const std::string text(value);  // atof needs a terminator
  const double delay = std::atof(text.c_str());
  if (!(delay > 0)) return 0;  // negative, zero, no number, NaN
  // Huge values would overflow the timer's argument: wait as long as it can.
  if (delay >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(delay);
}

std::string eval_script(std::string_view expression) {
  std::string script = "(function(){try{var r=(";
  script.append(expression);
  script +=
      ");window.chrome.webview.postMessage({type:'log',message:'EVAL '+String(r)});}catch(e){"
      "window.chrome.webview.postMessage({type:'log',message:'EVALERR '+e});}})();";
  return script;
}

std::optional<std::string> zoom_status(double zoom, double last_zoom) {
  if (!(std::fabs(zoom - last_zoom) > 0.001)) return std::nullopt;
  // The page's number is not trusted to be sane; keep the rounding defined.
  const double percent = std::clamp(zoom * 100, -1e15, 1e15);
  return "缩放：" + std::to_string(std::llround(percent)) + "%";
}

}  // namespace vesk::win
