// The bridge script (webhost/bridge.js), embedded at build time. The web host
// installs it in every document before the page's own scripts.
#pragma once

#include <string_view>

namespace vesk::win {

std::string_view bridge_script();

}  // namespace vesk::win
