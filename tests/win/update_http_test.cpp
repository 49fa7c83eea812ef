// WinHTTP fetch and download against a real server on 127.0.0.1, and the
// CNG file hash.
#include <gtest/gtest.h>
#include <windows.h>

#include <sodium.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/win/update_test_server.h"
#include "update/download_win.h"
#include "update/http_win.h"
#include "update/manifest_check.h"

namespace vesk::win {
namespace {

using testing::TestHttpServer;
using testing::TestResponse;

std::string random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 mix(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(mix());
  return bytes;
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class UpdateHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.listening());
    folder_ = std::filesystem::temp_directory_path() / ("vesk-http-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::wstring file(const wchar_t* name) const { return (folder_ / name).wstring(); }

  TestHttpServer server_;
  std::filesystem::path folder_;
};

TEST_F(UpdateHttp, FetchesTheManifestBodyAsRawBytes) {
  const std::string body = "{\"a\":\"\xE4\xB8\xAD\"}\r\n" + random_bytes(40000, 1);  // several 16 KiB reads
  server_.route("/m.json?channel=stable&x=1", {{200, body}});
  std::string fetched = "stale";
  std::wstring error;
  ASSERT_TRUE(fetch_manifest_text(server_.url("/m.json?channel=stable&x=1"), fetched, &error)) << error.size();
  EXPECT_EQ(fetched, body);
  EXPECT_EQ(server_.requests().back(), "GET /m.json?channel=stable&x=1 HTTP/1.1");
  EXPECT_EQ(server_.last_header("user-agent"), "Vesk/1.0.3");
}

TEST_F(UpdateHttp, FetchFailuresSayWhy) {
  server_.route("/empty", {{200, ""}});
  server_.route("/gone", {{404, "nope"}});
  server_.route("/busy", {{503, ""}});
  std::string body = "stale";
  std::wstring error;
  EXPECT_TRUE(fetch_manifest_text(server_.url("/empty"), body, &error));
  EXPECT_EQ(body, "");

  const struct {
    std::wstring url;
    std::wstring error;
  } cases[] = {
      {server_.url("/gone"), L"服务器返回 HTTP 404"},
      {server_.url("/busy"), L"服务器返回 HTTP 503"},
      {L"not a url", L"更新地址不合法"},
      {L"ftp://127.0.0.1/x", L"更新地址不合法"},
  };
  for (const auto& c : cases) {
    error.clear();
    EXPECT_FALSE(fetch_manifest_text(c.url, body, &error));
    EXPECT_EQ(error, c.error);
  }
  EXPECT_FALSE(fetch_manifest_text(server_.url("/gone"), body, nullptr));

  // Nobody listens on the port of a server that has gone.
  std::wstring closed_url;
  {
    TestHttpServer gone;
    closed_url = gone.url("/m.json");
  }
  EXPECT_FALSE(fetch_manifest_text(closed_url, body, &error));
  EXPECT_EQ(error.rfind(L"请求更新清单失败", 0), 0u);
  EXPECT_GT(error.size(), std::wstring(L"请求更新清单失败").size());
  EXPECT_NE(error.find_first_of(L"0123456789"), std::wstring::npos);
}

TEST_F(UpdateHttp, DownloadsWithAndWithoutContentLength) {
  const std::string package = random_bytes(300000, 2);
  server_.route("/p.zip", {{200, package, true, 50000, 0}});
  server_.route("/stream.zip", {{200, package, false, 50000, 0}});
  const struct {
    std::string target;
    std::int64_t total;
  } cases[] = {{"/p.zip", 300000}, {"/stream.zip", 0}};
  for (const auto& c : cases) {
    const std::wstring path = file(L"pkg.zip");
    write_file(path, std::string(500000, 'x'));  // replaced, not appended to
    DownloadJob job;
    bool retryable = true;
    ASSERT_TRUE(download_to_file(server_.url(c.target), path, job, &retryable)) << c.target;
    EXPECT_FALSE(retryable);
    EXPECT_EQ(job.total.load(), c.total) << c.target;
    EXPECT_EQ(job.downloaded.load(), 300000);
    EXPECT_TRUE(job.error.empty());
    EXPECT_EQ(read_file(path), package) << c.target;
  }
  server_.route("/zero", {{200, ""}});
  DownloadJob job;
  ASSERT_TRUE(download_to_file(server_.url("/zero"), file(L"zero"), job, nullptr));
  EXPECT_EQ(std::filesystem::file_size(folder_ / L"zero"), 0u);
}

TEST_F(UpdateHttp, DownloadFailuresAndWhichOnesToRetry) {
  server_.route("/503", {{503, "busy"}});
  server_.route("/500", {{500, ""}});
  server_.route("/404", {{404, ""}});
  server_.route("/ok", {{200, "data"}});
  std::filesystem::create_directories(folder_ / L"a-folder");
  const struct {
    std::wstring url;
    std::wstring path;
    std::wstring error;
    bool retryable;
  } cases[] = {
      {server_.url("/503"), file(L"f"), L"服务器返回 HTTP 503", true},
      {server_.url("/500"), file(L"f"), L"服务器返回 HTTP 500", true},
      {server_.url("/404"), file(L"f"), L"服务器返回 HTTP 404", false},
      {L"::bad::", file(L"f"), L"更新地址不合法", false},
      {server_.url("/ok"), file(L"a-folder"), L"无法写入临时文件", false},
  };
  for (const auto& c : cases) {
    DownloadJob job;
    bool retryable = !c.retryable;
    EXPECT_FALSE(download_to_file(c.url, c.path, job, &retryable));
    EXPECT_EQ(job.error, c.error);
    EXPECT_EQ(retryable, c.retryable) << job.error.size();
  }
}

// A server that sends more than it should is cut off: the manifest at
// 1 MiB, a package at its declared size, with or without a length header.
TEST_F(UpdateHttp, BodiesStopAtTheirLimits) {
  const std::string limit(kManifestMaxBytes, 'x');
  server_.route("/fits", {{200, limit, false, 65536}});
  server_.route("/big", {{200, limit + "y", true, 65536}});
  server_.route("/big-stream", {{200, limit + "y", false, 65536}});
  std::string body;
  std::wstring error;
  EXPECT_TRUE(fetch_manifest_text(server_.url("/fits"), body, &error));
  EXPECT_EQ(body.size(), kManifestMaxBytes);
  for (const char* target : {"/big", "/big-stream"}) {
    EXPECT_FALSE(fetch_manifest_text(server_.url(target), body, &error)) << target;
    EXPECT_EQ(error, L"更新清单过大（超过 1 MiB），已放弃。");
  }

  const std::string package = random_bytes(300000, 5);
  server_.route("/p.zip", {{200, package, true, 50000}});
  server_.route("/p-stream.zip", {{200, package, false, 50000}});
  const struct {
    const char* target;
    std::int64_t declared;
    bool ok;
  } cases[] = {{"/p.zip", 300000, true},        {"/p.zip", 0, true},         {"/p.zip", 299999, false},
               {"/p-stream.zip", 300000, true}, {"/p-stream.zip", 120000, false}};
  for (const auto& c : cases) {
    DownloadJob job;
    job.declared_size = c.declared;
    bool retryable = true;
    EXPECT_EQ(download_to_file(server_.url(c.target), file(L"p.zip"), job, &retryable), c.ok) << c.target;
    EXPECT_FALSE(retryable);
    EXPECT_LE(job.downloaded.load(), c.declared > 0 ? c.declared : 300000) << c.target;
    if (!c.ok) {
      EXPECT_EQ(job.error, L"更新包超过清单声明的大小，已停止下载。");
    }
  }
}

TEST_F(UpdateHttp, CancelStopsBeforeTheNextReadAndKeepsTheError) {
  server_.route("/slow", {{200, random_bytes(4 << 20, 3), true, 65536, 20}});
  DownloadJob job;
  job.error = L"earlier";
  job.cancel.store(true);
  bool retryable = true;
  EXPECT_FALSE(download_to_file(server_.url("/slow"), file(L"slow"), job, &retryable));
  EXPECT_FALSE(retryable);
  EXPECT_EQ(job.error, L"earlier");
  EXPECT_EQ(job.downloaded.load(), 0);
}

TEST_F(UpdateHttp, Sha256MatchesKnownDigestsAndLibsodium) {
  const std::string large = random_bytes(200000, 4);  // several 64 KiB reads, last one partial
  std::array<unsigned char, 32> digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(large.data()), large.size());
  std::string large_hex;
  for (const unsigned char byte : digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    large_hex += {kDigits[byte >> 4], kDigits[byte & 15]};
  }
  const struct {
    std::string bytes;
    std::string hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {large, large_hex},
  };
  for (const auto& c : cases) {
    const std::wstring path = file(L"hash-me");
    write_file(path, c.bytes);
    std::string hex = "stale";
    ASSERT_TRUE(sha256_file_hex(path, hex));
    EXPECT_EQ(hex, c.hex);
  }
  std::string hex;
  EXPECT_FALSE(sha256_file_hex(file(L"missing"), hex));
  EXPECT_FALSE(sha256_file_hex(folder_.wstring(), hex));
}

}  // namespace
}  // namespace vesk::win
