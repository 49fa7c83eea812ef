// The automation variables as the main window reads them.
#include "app/automation.h"

#include <gtest/gtest.h>

namespace vesk::win {
namespace {

TEST(Automation, StartupCommandNames) {
  EXPECT_EQ(normalize_startup_command(" Save As\t\r\n"), "saveas");
  EXPECT_EQ(startup_command_id("saveas"), 4);
  EXPECT_EQ(startup_command_id(normalize_startup_command("EXPORTPDF")), 6);
  EXPECT_EQ(startup_command_id("zoomreset"), 33);
  EXPECT_EQ(startup_command_id("openfolder"), 34);
  EXPECT_EQ(startup_command_id("newwindow"), 38);
  EXPECT_EQ(startup_command_id("bold"), std::nullopt);  // page names are not commands
  EXPECT_EQ(startup_command_id(""), std::nullopt);
  EXPECT_EQ(startup_command_id("save "), std::nullopt);
}

TEST(Automation, DropPathsKeepPiecesVerbatim) {
  EXPECT_EQ(split_drop_paths(";;C:\\a.png;; C:\\b c.md ;"),
            (std::vector<std::string>{"C:\\a.png", " C:\\b c.md "}));
  EXPECT_TRUE(split_drop_paths(";;;").empty());
  EXPECT_TRUE(split_drop_paths("").empty());
}

TEST(Automation, SnapshotDelayReadsLikeAtof) {
  EXPECT_EQ(snapshot_delay_ms(""), 2000);
  EXPECT_EQ(snapshot_delay_ms("-5"), 0);
  EXPECT_EQ(snapshot_delay_ms("1500.9"), 1500);
  EXPECT_EQ(snapshot_delay_ms("  250ms"), 250);
  EXPECT_EQ(snapshot_delay_ms("soon"), 0);
  EXPECT_EQ(snapshot_delay_ms("1e3"), 1000);
  EXPECT_EQ(snapshot_delay_ms("1e300"), 2147483647);
  EXPECT_EQ(snapshot_delay_ms("nan"), 0);
}

TEST(Automation, EvalScriptWrapsTheExpression) {
  EXPECT_EQ(eval_script("1+1"),
            "(function(){try{var r=(1+1);window.chrome.webview.postMessage({type:'log',"
            "message:'EVAL '+String(r)});}catch(e){window.chrome.webview.postMessage({type:'log',"
            "message:'EVALERR '+e});}})();");
}

TEST(Automation, ZoomStatusOnlyForRealChanges) {
  EXPECT_EQ(zoom_status(1.0, 1.0), std::nullopt);
  EXPECT_EQ(zoom_status(1.1, 1.0), "缩放：110%");
  EXPECT_EQ(zoom_status(1.1004, 1.1), std::nullopt);
  EXPECT_EQ(zoom_status(0.5, 1.0), "缩放：50%");
  EXPECT_EQ(zoom_status(1.125, 1.0), "缩放：113%");  // halves away from zero
  EXPECT_EQ(zoom_status(-0.125, 1.0), "缩放：-13%");
  EXPECT_EQ(zoom_status(1e300, 1.0).has_value(), true);
}

}  // namespace
}  // namespace vesk::win
