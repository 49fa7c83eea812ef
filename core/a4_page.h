// The A4 sheet every PDF is printed on: its size and margins in inches, as
// the print settings take them, and the width between the margins in CSS
// pixels (96 to the inch), which the page's print view is laid out to
// (`#print-root` in page/src/editor.css holds the same number).
#pragma once

namespace vesk {

inline constexpr double kA4WidthInches = 8.27;
inline constexpr double kA4HeightInches = 11.69;
inline constexpr double kA4SideMarginInches = 0.7083333333333334;      // 18 mm
inline constexpr double kA4TopBottomMarginInches = 0.7875000000000001;  // 20 mm

inline constexpr double kCssPixelsPerInch = 96.0;
// 657.9 rounded to whole pixels: 658.
inline constexpr double kA4PrintableWidthPixels =
    static_cast<double>(static_cast<int>((kA4WidthInches - 2 * kA4SideMarginInches) * kCssPixelsPerInch + 0.5));

static_assert(kA4PrintableWidthPixels == 658.0);

}  // namespace vesk
