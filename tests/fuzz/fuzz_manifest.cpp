// The manifest parser, version comparison and decision on arbitrary text,
// plus the package file name on arbitrary URLs: no crash, and the results
// keep their promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/manifest.h"
#include "update/update_policy.h"

namespace {

void check_file_name(std::string_view bytes) {
  const std::wstring url(bytes.begin(), bytes.end());
  const std::wstring name = vesk::download_file_name(url);
  if (name.empty() || name.find(L"..") != std::wstring::npos ||
      name.find_first_of(L"\\/:<>\"|?*") != std::wstring::npos) {
    std::abort();
  }
  for (const wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto platform : {vesk::UpdatePlatform::Windows, vesk::UpdatePlatform::MacOS}) {
    vesk::UpdateManifest manifest;
    std::string error;
    if (vesk::parse_update_manifest(text, platform, manifest, &error)) {
      if (!error.empty() || manifest.version.empty() || manifest.build < 0 || manifest.setup.size < 0 ||
          manifest.portable.size < 0 || manifest.dmg.size < 0) {
        std::abort();
      }
      // A signed expiry reads back through its own written form.
      std::int64_t again = 0;
      if (manifest.expires && (!vesk::parse_utc_timestamp(vesk::format_utc_timestamp(*manifest.expires), again) ||
                               again != *manifest.expires)) {
        std::abort();
      }
      const int decision = vesk::update_decision(manifest, platform, vesk::kAppVersion, vesk::kUpdateOsVersion, 0);
      if (decision < 1 || decision > 3) std::abort();
      if (vesk::compare_versions(manifest.version, manifest.min_os) !=
          -vesk::compare_versions(manifest.min_os, manifest.version)) {
        std::abort();
      }
    } else if (error.empty()) {
      std::abort();
    }
  }

  std::string canonical;
  if (vesk::canonical_manifest_json(text, canonical, nullptr)) {
    // Canonical text is a fixed point, except where it holds a non-finite
    // number, which the writer spells in a way no parser reads back.
    std::string again;
    if (vesk::canonical_manifest_json(canonical, again, nullptr) && again != canonical) std::abort();
  }
  std::int64_t seconds = 0;
  if (vesk::parse_utc_timestamp(text, seconds)) {
    std::int64_t again = 0;
    if (seconds < 0 || !vesk::parse_utc_timestamp(vesk::format_utc_timestamp(seconds), again) || again != seconds) {
      std::abort();
    }
  }
  check_file_name(text);
  return 0;
}
