// With a display, the browser's app window is made a child of the host
// window's own X window (Wine's windows are X windows on the same display),
// so it moves, hides, minimises and stacks with its host for free and only
// its size and place inside the host follow the control's bounds. The X work
// is done by xdotool; these are the rules that decide what to ask of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::cdp {

struct ScreenPoint {
  long x = 0;
  long y = 0;
};

// The browser window's place inside the host's X window and whether it shows.
struct ChildPlacement {
  long x = 0;
  long y = 0;
  long width = 0;
  long height = 0;
  bool shown = true;
  bool operator==(const ChildPlacement&) const = default;
};

// `bounds_origin` is the top-left of the control's bounds on the screen (the
// host's client coordinates mapped), `x_origin` that of the host's X window;
// a window manager's frame makes the two differ by more than the menu bar.
ChildPlacement child_placement(ScreenPoint bounds_origin, ScreenPoint x_origin, long width, long height,
                               bool shown);

// xdotool arguments that take `window` from `was` to `now`; empty when
// nothing changed. Sizes below one pixel are not sent (a minimised host
// reports them, and X refuses them); the window keeps its last size.
std::vector<std::string> placement_arguments(std::string_view window, const std::optional<ChildPlacement>& was,
                                             const ChildPlacement& now);

// Takes `window` from wherever it is (a window manager may be framing it:
// unmapping first withdraws it) into `parent` at `now`.
std::vector<std::string> embed_arguments(std::string_view window, std::string_view parent, const ChildPlacement& now);

// A command line, run without waiting, that makes the browser draw `window`
// afresh once the host it is inside is on screen again after a minimise: it
// waits (up to `timeout`, coreutils syntax) until the window is viewable,
// which it becomes when Wine maps the host, then makes it one pixel taller
// and back. Only a new size reliably makes the browser draw a whole frame;
// unmapping and mapping it left the editor blank in about half of the
// restores on a busy machine.
std::vector<std::string> redraw_when_viewable_arguments(std::string_view window, std::string_view timeout);

// xdotool arguments for the first window whose title starts with `title`
// (a browser started without --app adds its own name after the page's),
// waiting up to the time `timeout` (coreutils syntax) for it to appear.
std::vector<std::string> find_window_arguments(std::string_view title, std::string_view timeout);

// A command line whose standard output goes to `file` (a Unix path).
std::vector<std::string> with_output_to(std::string_view file, std::vector<std::string> command);

// The first line of xdotool's answer as a window id ("" when it is not one).
std::string parse_window_id(std::string_view text);

// X and Y of `xdotool getwindowgeometry --shell`.
std::optional<ScreenPoint> parse_window_origin(std::string_view text);

// Matches what starts with `text`, as an extended regular expression,
// which is what xdotool's search takes.
std::string prefix_pattern(std::string_view text);

}  // namespace vesk::cdp
