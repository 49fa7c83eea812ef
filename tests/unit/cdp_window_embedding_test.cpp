// What the control asks of xdotool to keep the browser's window inside the
// host's, and how it reads the answers.
#include <gtest/gtest.h>

#include "window_embedding.h"

namespace vesk::cdp {
namespace {

using Args = std::vector<std::string>;

TEST(WindowEmbedding, PlacementIsRelativeToTheHostsXWindow) {
  // A window manager's frame puts the X window 4 px right and 23 px down of
  // the window rectangle; the menu bar is inside it.
  const ChildPlacement at = child_placement({104, 142}, {104, 123}, 900, 581, true);
  EXPECT_EQ(at, (ChildPlacement{0, 19, 900, 581, true}));
}

TEST(WindowEmbedding, OnlyWhatChangedIsSent) {
  const ChildPlacement first{0, 19, 1180, 801, true};
  EXPECT_EQ(placement_arguments("7", std::nullopt, first),
            (Args{"windowmove", "7", "0", "19", "windowsize", "7", "1180", "801", "windowmap", "7"}));
  EXPECT_TRUE(placement_arguments("7", first, first).empty());

  ChildPlacement resized = first;
  resized.width = 900;
  EXPECT_EQ(placement_arguments("7", first, resized), (Args{"windowsize", "7", "900", "801"}));
  ChildPlacement lower = first;
  lower.y = 38;  // the menu bar wrapped onto two lines
  EXPECT_EQ(placement_arguments("7", first, lower), (Args{"windowmove", "7", "0", "38"}));

  // Hidden before it moves, shown after, so it is never seen in between.
  ChildPlacement hidden = resized;
  hidden.shown = false;
  EXPECT_EQ(placement_arguments("7", first, hidden), (Args{"windowunmap", "7", "windowsize", "7", "900", "801"}));
  EXPECT_EQ(placement_arguments("7", hidden, first), (Args{"windowsize", "7", "1180", "801", "windowmap", "7"}));

  // A minimised host reports no size: X refuses zero, so nothing is sized.
  ChildPlacement empty = first;
  empty.width = 0;
  empty.height = 0;
  EXPECT_TRUE(placement_arguments("7", first, empty).empty());
}

TEST(WindowEmbedding, EmbeddingWithdrawsPlacesThenShows) {
  EXPECT_EQ(embed_arguments("7", "9", {0, 19, 800, 600, true}),
            (Args{"windowunmap", "--sync", "7", "windowreparent", "7", "9", "windowmove", "7", "0", "19", "windowsize",
                  "7", "800", "600", "windowmap", "7"}));
  const Args hidden = embed_arguments("7", "9", {0, 19, 800, 600, false});
  EXPECT_NE(hidden.back(), "7") << "a hidden control's window is not mapped";
  EXPECT_EQ(hidden.size(), 14u);
}

TEST(WindowEmbedding, SearchesByTitleAndReadsTheAnswers) {
  EXPECT_EQ(prefix_pattern("vesk-cdp-A1.b(2)"), "^vesk-cdp-A1\\.b\\(2\\)");
  const Args find = find_window_arguments("t", "10");
  EXPECT_EQ(find.front(), "timeout");
  EXPECT_EQ(find.back(), "^t");
  // The output file and the command never pass through the shell's parser.
  EXPECT_EQ(with_output_to("/tmp/a b; rm x", {"xdotool", "$(x)"}),
            (Args{"/bin/sh", "-c", "exec \"$@\" > \"$0\"", "/tmp/a b; rm x", "xdotool", "$(x)"}));

  EXPECT_EQ(parse_window_id("23068674\n"), "23068674");
  EXPECT_EQ(parse_window_id("23068674\n23068675\n"), "23068674");
  for (const char* bad : {"", "\n", "0x16\n", "Defaulting to search window name\n", "12 34\n"}) {
    EXPECT_EQ(parse_window_id(bad), "") << bad;
  }

  const auto origin = parse_window_origin("WINDOW=1\nX=4\nY=-23\r\nWIDTH=1180\nHEIGHT=820\nSCREEN=0\n");
  ASSERT_TRUE(origin);
  EXPECT_EQ(origin->x, 4);
  EXPECT_EQ(origin->y, -23);
  EXPECT_FALSE(parse_window_origin("WINDOW=1\nX=4\n"));
  EXPECT_FALSE(parse_window_origin("X=4px\nY=2\n"));
}

}  // namespace
}  // namespace vesk::cdp
