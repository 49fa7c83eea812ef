#include "window_embedding.h"

#include <cctype>
#include <charconv>

namespace vesk::cdp {
namespace {

void add_move(std::vector<std::string>& args, std::string_view window, const ChildPlacement& at) {
  args.insert(args.end(), {"windowmove", std::string(window), std::to_string(at.x), std::to_string(at.y)});
}

void add_size(std::vector<std::string>& args, std::string_view window, const ChildPlacement& at) {
  args.insert(args.end(), {"windowsize", std::string(window), std::to_string(at.width), std::to_string(at.height)});
}

bool has_size(const ChildPlacement& at) { return at.width > 0 && at.height > 0; }

std::optional<long> parse_long(std::string_view text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

ChildPlacement child_placement(ScreenPoint bounds_origin, ScreenPoint x_origin, long width, long height,
                               bool shown) {
  return {bounds_origin.x - x_origin.x, bounds_origin.y - x_origin.y, width, height, shown};
}

std::vector<std::string> placement_arguments(std::string_view window, const std::optional<ChildPlacement>& was,
                                             const ChildPlacement& now) {
  std::vector<std::string> args;
  // Hidden first and shown last, so the window is never seen in between.
  if (was && was->shown && !now.shown) args.insert(args.end(), {"windowunmap", std::string(window)});
  if (has_size(now)) {
    if (!was || was->x != now.x || was->y != now.y) add_move(args, window, now);
    if (!was || was->width != now.width || was->height != now.height) add_size(args, window, now);
  }
  if (now.shown && (!was || !was->shown)) args.insert(args.end(), {"windowmap", std::string(window)});
  return args;
}

std::vector<std::string> embed_arguments(std::string_view window, std::string_view parent, const ChildPlacement& now) {
  std::vector<std::string> args{"windowunmap", "--sync", std::string(window),
                                "windowreparent", std::string(window), std::string(parent)};
  ChildPlacement hidden = now;
  hidden.shown = false;
  for (auto& arg : placement_arguments(window, std::nullopt, hidden)) args.push_back(std::move(arg));
  if (now.shown) args.insert(args.end(), {"windowmap", std::string(window)});
  return args;
}

std::vector<std::string> redraw_when_viewable_arguments(std::string_view window, std::string_view timeout) {
  // The window id comes in as $0, never parsed by the shell.
  return {"timeout", std::string(timeout), "/bin/sh", "-c",
          "until xwininfo -id \"$0\" | grep -q IsViewable; do sleep 0.02; done; "
          "eval \"$(xdotool getwindowgeometry --shell \"$0\")\"; "
          "exec xdotool windowsize --sync \"$0\" \"$WIDTH\" $((HEIGHT + 1)) windowsize --sync \"$0\" \"$WIDTH\" \"$HEIGHT\"",
          std::string(window)};
}

std::vector<std::string> find_window_arguments(std::string_view title, std::string_view timeout) {
  return {"timeout", std::string(timeout), "xdotool", "search", "--sync", "--limit", "1",
          "--name",  prefix_pattern(title)};
}

std::vector<std::string> with_output_to(std::string_view file, std::vector<std::string> command) {
  // The file comes in as $0 and the command as "$@", so neither is ever
  // parsed by the shell.
  std::vector<std::string> args{"/bin/sh", "-c", "exec \"$@\" > \"$0\"", std::string(file)};
  for (auto& arg : command) args.push_back(std::move(arg));
  return args;
}

std::string parse_window_id(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  const std::string_view line = text.substr(0, end);
  if (line.empty() || line.size() > 20) return {};
  for (const char c : line) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return {};
  }
  return std::string(line);
}

std::optional<ScreenPoint> parse_window_origin(std::string_view text) {
  std::optional<long> x, y;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("X=")) x = parse_long(line.substr(2));
    if (line.starts_with("Y=")) y = parse_long(line.substr(2));
  }
  if (!x || !y) return std::nullopt;
  return ScreenPoint{*x, *y};
}

std::string prefix_pattern(std::string_view text) {
  std::string pattern = "^";
  for (const char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

}  // namespace vesk::cdp
