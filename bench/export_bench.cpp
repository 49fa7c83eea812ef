// HTML export throughput next to libsodium's Base64 encoder on the same
// bytes: an export with 200 local images of 150 KB each. "Inline" is the whole
// of inline_local_images (find the tags, read every file, encode, splice);
// its peers read the same files and encode them with sodium_bin2base64, or
// run GNU coreutils' base64 on the files concatenated (output to /dev/null,
// process start included). "Base64" compares the encoders alone on the
// images held in memory.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/json.h"
#include "export/html_export.h"

namespace {

constexpr int kImages = 200;
constexpr std::size_t kImageSize = 150 * 1024;

// 200 files of incompressible bytes (as PNG and JPEG data are) in a folder
// of their own, and the exported page that refers to them.
struct Export {
  std::filesystem::path folder;
  std::string html;
  std::vector<std::string> paths;
  std::vector<unsigned char> all_bytes;
  std::filesystem::path concatenated;

  Export() {
    folder = std::filesystem::temp_directory_path() / ("vesk-export-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::uint64_t state = 0x5eed;
    html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>导出</title></head><body>\n";
    for (int i = 0; i < kImages; ++i) {
      std::vector<unsigned char> bytes(kImageSize);
      for (unsigned char& b : bytes) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        b = static_cast<unsigned char>(state >> 56);
      }
      // The export embeds only files whose bytes are an image.
      const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
      std::copy(std::begin(signature), std::end(signature), bytes.begin());
      const std::string name = "image-" + std::to_string(i) + ".png";
      const std::filesystem::path file = folder / name;
      std::FILE* out = std::fopen(file.c_str(), "wb");
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
      paths.push_back(file.string());
      all_bytes.insert(all_bytes.end(), bytes.begin(), bytes.end());
      html += "<h2>第 " + std::to_string(i) + " 节</h2>\n<p>Some text around the picture, 还有一些中文。</p>\n"
              "<p><img src=\"" + name + "\" alt=\"图 " + std::to_string(i) + "\"></p>\n";
    }
    html += "</body></html>\n";
    concatenated = folder / "all.bin";
    std::FILE* out = std::fopen(concatenated.c_str(), "wb");
    std::fwrite(all_bytes.data(), 1, all_bytes.size(), out);
    std::fclose(out);
  }
  ~Export() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

const Export& the_export() {
  static const Export instance;
  return instance;
}

void BM_Base64_Vesk(benchmark::State& state) {
  const auto& bytes = the_export().all_bytes;
  std::string out;
  for (auto _ : state) {
    out.clear();
    vesk::append_base64(bytes.data(), bytes.size(), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_Base64_Sodium(benchmark::State& state) {
  const auto& bytes = the_export().all_bytes;
  const std::size_t length = sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  std::string out(length, '\0');
  for (auto _ : state) {
    sodium_bin2base64(out.data(), out.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_Inline_Vesk(benchmark::State& state) {
  const Export& data = the_export();
  const std::string folder = data.folder.string();
  std::size_t missing = 0;
  for (auto _ : state) {
    std::string page = vesk::inline_local_images(data.html, folder, missing);
    benchmark::DoNotOptimize(page.data());
  }
  if (missing != 0) state.SkipWithError("images went missing");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.all_bytes.size()));
}

// The same files read whole and encoded by libsodium into one buffer.
void BM_Inline_Sodium(benchmark::State& state) {
  const Export& data = the_export();
  std::vector<unsigned char> bytes(kImageSize);
  for (auto _ : state) {
    std::string out;
    for (const std::string& path : data.paths) {
      std::FILE* in = std::fopen(path.c_str(), "rb");
      const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), in);
      std::fclose(in);
      const std::size_t at = out.size();
      out.resize(at + sodium_base64_encoded_len(read, sodium_base64_VARIANT_ORIGINAL));
      sodium_bin2base64(out.data() + at, out.size() - at, bytes.data(), read, sodium_base64_VARIANT_ORIGINAL);
      out.pop_back();  // its terminating NUL
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.all_bytes.size()));
}

void BM_Inline_Coreutils(benchmark::State& state) {
  const Export& data = the_export();
  const std::string command = "base64 -w0 '" + data.concatenated.string() + "' >/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("base64 failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.all_bytes.size()));
}

BENCHMARK(BM_Base64_Vesk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64_Sodium)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inline_Vesk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inline_Sodium)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inline_Coreutils)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (sodium_init() < 0) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
