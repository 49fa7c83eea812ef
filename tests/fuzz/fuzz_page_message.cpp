// Feeds arbitrary bytes to the page-message dispatch. The page is untrusted
// input: whatever it posts must be dropped or handled without a crash. The
// core has no document folder here, so image messages never touch the disk.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/editor_core.h"
#include "recording_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vesk::testing::RecordingHost host;
  vesk::EditorCore core(&host);
  host.core = &core;
  host.clipboard_text = "clip";
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  core.handle_page_message(message);
  // A second round after a ready page exercises the other state.
  core.handle_page_message(R"({"type":"ready"})");
  core.handle_page_message(message);
  return 0;
}
