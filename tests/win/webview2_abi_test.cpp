// Our WebView2 declarations against the official SDK header: the same IID for
// every interface and the same vtable slot for every method. A wrong digit or
// a missing method up a chain calls the wrong function on real Windows, and
// under Wine only the Chromium-backed control (built from our declarations)
// would ever notice.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/win/webview2_abi_table.h"

namespace {

std::string guid_text(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

TEST(WebView2Abi, OurDeclarationsMatchTheOfficialHeader) {
  const std::vector<AbiRow> own = own_webview2_abi();
  const std::vector<AbiRow> official = official_webview2_abi();
  ASSERT_EQ(own.size(), official.size());
  ASSERT_GT(own.size(), 150u);
  for (size_t i = 0; i < own.size(); ++i) {
    EXPECT_EQ(own[i].name, official[i].name);
    EXPECT_EQ(guid_text(own[i].iid), guid_text(official[i].iid)) << own[i].name;
    EXPECT_EQ(own[i].slot, official[i].slot) << own[i].name;
  }
}

}  // namespace
