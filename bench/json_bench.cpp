// JSON throughput next to RapidJSON's DOM (as configured by default) on the
// same inputs: a 16 MB "save" message, a 2 KB update manifest, one 60-byte
// "dirty" message and a stream of small page messages. Compare the MB/s of
// each pair; absolute times depend on the machine.
#include "core/json.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Deterministic, so every run and every machine measures the same bytes.
class Lcg {
 public:
  std::uint32_t next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::size_t below(std::size_t n) { return next() % n; }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) { return items[below(N)]; }

 private:
  std::uint64_t state_ = 0x5eed;
};

// A Markdown document as people write them: Chinese and English prose,
// headings, lists, tables and code blocks full of quotes, backslashes and tabs.
std::string make_document(std::size_t size) {
  static const char* const kHan[] = {"的", "一", "是", "在", "不", "了", "有", "和", "人", "这", "中", "大",
                                     "为", "上", "个", "国", "我", "以", "要", "他", "时", "来", "用", "们",
                                     "生", "到", "作", "地", "于", "出", "就", "分", "对", "成", "会", "可",
                                     "主", "发", "年", "动", "同", "工", "也", "能", "下", "过", "子", "说",
                                     "编", "辑", "器", "文", "档", "保", "存", "格", "式", "标", "题", "列"};
  static const char* const kWords[] = {"the",    "editor", "saves",   "document", "with", "a",     "preview",
                                       "window", "and",    "renders", "Markdown", "text", "while", "typing",
                                       "every",  "change", "is",      "kept",     "in",   "sync",  "image"};
  static const char* const kCode[] = {
      "\tconst char* path = \"C:\\\\Users\\\\me\\\\notes.md\";",
      "\tif (text.find('\\\\') != npos) { escape(text, \"\\\\n\"); }",
      "\t\tprintf(\"%s: %d\\n\", name, count);",
      "def load(path):\n\twith open(path, \"rb\") as f:\n\t\treturn f.read().decode(\"utf-8\")",
      "\tregex = r\"^(\\s*)[-*+]\\s+\\[( |x)\\]\"",
      "}",
  };
  Lcg random;
  std::string doc;
  doc.reserve(size + 1024);
  int chapter = 0;
  while (doc.size() < size) {
    switch (random.below(8)) {
      case 0:
        ++chapter;
        doc += "## 第" + std::to_string(chapter) + "章 Chapter " + std::to_string(chapter) + "\n\n";
        break;
      case 1:
      case 2:
        for (std::size_t line = 0, lines = 2 + random.below(4); line < lines; ++line) {
          for (std::size_t n = 0, chars = 20 + random.below(40); n < chars; ++n) {
            doc += random.pick(kHan);
            if (random.below(12) == 0) doc += random.below(2) ? "，" : "。";
          }
          doc += "\n";
        }
        doc += "\n";
        break;
      case 3:
      case 4:
        for (std::size_t n = 0, words = 30 + random.below(60); n < words; ++n) {
          doc += random.pick(kWords);
          doc += random.below(15) == 0 ? ".\n" : " ";
        }
        doc += "\"quoted\" and `code` and [a link](https://example.com/a?b=1&c=2).\n\n";
        break;
      case 5:
        for (std::size_t n = 0, items = 2 + random.below(5); n < items; ++n) {
          doc += "- [ ] ";
          doc += random.pick(kWords);
          doc += " 中文条目\n";
        }
        doc += "\n";
        break;
      case 6:
        doc += "```cpp\n";
        for (std::size_t n = 0, lines = 3 + random.below(10); n < lines; ++n) {
          doc += random.pick(kCode);
          doc += "\n";
        }
        doc += "```\n\n";
        break;
      default:
        doc += "| name | value |\n|------|-------|\n| width | 100 |\n| 高度 | \"auto\" |\n\n";
        break;
    }
  }
  return doc;
}

const std::string& document() {
  static const std::string doc = make_document(16u << 20);
  return doc;
}

const std::string& save_message() {
  static const std::string message = R"({"type":"save","text":)" + vesk::json_quote(document()) + "}";
  return message;
}

const std::string& manifest() {
  static const std::string text = [] {
    std::string m =
        R"({"version":"1.4.2","build":1402,"channel":"stable","published":"2024-05-17T09:30:00Z",)"
        R"("minimum":{"windows":"10.0.17763","webview":"110.0.1587.41"},)"
        R"("notes":"### Fixes\n\n- Saving a document with \"CR LF\" endings keeps them.\n- Paths like C:\\Users\\me\\notes.md open.\n- 修复了中文输入法下的光标位置。\n\n### New\n\n- Export to PDF keeps the page size.\n",)"
        R"("artifacts":[)";
    const char* const platforms[] = {"windows-x64", "windows-arm64", "windows-x86"};
    for (int i = 0; i < 3; ++i) {
      if (i) m += ",";
      m += R"({"platform":")" + std::string(platforms[i]) +
           R"(","kind":"installer","url":"https://downloads.example.com/vesk/1.4.2/Vesk-1.4.2-)" + platforms[i] +
           R"(-setup.exe","sha256":"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",)"
           R"("size":)" + std::to_string(48213504 + i * 1048577) +
           R"(,"signature":"MEUCIQDhx3Hq0z1jv6Vb8T9m2Y5bQx0Wq4kF6N5xk1nZLrVY7wIgQm3p1Yy8xV0s6vJ4o2TqP1cW9XhR2aK5dN7eF3gH8jI=",)"
           R"("delta":{"from":"1.4.1","url":"https://downloads.example.com/vesk/1.4.2/delta-)" + platforms[i] +
           R"(.bin","size":)" + std::to_string(3145728 + i * 4099) + R"(,"ratio":0.065}})";
    }
    m += R"(],"rollout":{"percent":25.5,"seed":3141592653,"paused":false},"mandatory":false})";
    return m;
  }();
  return text;
}

const std::vector<std::string>& page_messages() {
  static const std::vector<std::string> messages = [] {
    Lcg random;
    std::vector<std::string> list;
    list.reserve(10000);
    for (int i = 0; i < 10000; ++i) {
      switch (random.below(6)) {
        case 0: list.push_back(R"({"type":"dirty","value":true})"); break;
        case 1:
          list.push_back(R"({"type":"stats","words":)" + std::to_string(random.below(100000)) + R"(,"cjk":)" +
                         std::to_string(random.below(50000)) + "}");
          break;
        case 2: list.push_back(R"({"type":"view","toc":false,"source":true,"zoom":1.1})"); break;
        case 3:
          list.push_back(R"({"type":"scroll","line":)" + std::to_string(random.below(5000)) + R"(,"ratio":0.)" +
                         std::to_string(random.below(1000)) + "}");
          break;
        case 4: list.push_back(R"({"type":"link","href":"https://example.com/docs/page#section-2"})"); break;
        default: list.push_back(R"({"type":"status","text":"第 12 行，第 4 列"})"); break;
      }
    }
    return list;
  }();
  return messages;
}

std::int64_t total_size(const std::vector<std::string>& texts) {
  std::int64_t size = 0;
  for (const auto& t : texts) size += static_cast<std::int64_t>(t.size());
  return size;
}

// --- parse -------------------------------------------------------------------

void parse_vesk(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    vesk::JsonValue value;
    if (!vesk::parse_json(text, value)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void parse_rapidjson(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    rapidjson::Document doc;
    if (doc.Parse(text.data(), text.size()).HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_ParseSave_Vesk(benchmark::State& state) { parse_vesk(state, save_message()); }
void BM_ParseSave_RapidJSON(benchmark::State& state) { parse_rapidjson(state, save_message()); }
void BM_ParseManifest_Vesk(benchmark::State& state) { parse_vesk(state, manifest()); }
void BM_ParseManifest_RapidJSON(benchmark::State& state) { parse_rapidjson(state, manifest()); }

// One "dirty" message as the page sends it, about 60 bytes.
const std::string& dirty_message() {
  static const std::string text = R"({"type":"dirty","value":true,"revision":1842,"saved":false})";
  return text;
}

void BM_ParseDirty_Vesk(benchmark::State& state) { parse_vesk(state, dirty_message()); }
void BM_ParseDirty_RapidJSON(benchmark::State& state) { parse_rapidjson(state, dirty_message()); }

void BM_ParseMessages_Vesk(benchmark::State& state) {
  const auto& messages = page_messages();
  for (auto _ : state) {
    for (const auto& m : messages) {
      vesk::JsonValue value;
      vesk::parse_json(m, value);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetBytesProcessed(state.iterations() * total_size(messages));
}

void BM_ParseMessages_RapidJSON(benchmark::State& state) {
  const auto& messages = page_messages();
  for (auto _ : state) {
    for (const auto& m : messages) {
      rapidjson::Document doc;
      doc.Parse(m.data(), m.size());
      benchmark::DoNotOptimize(doc);
    }
  }
  state.SetBytesProcessed(state.iterations() * total_size(messages));
}

// --- write -------------------------------------------------------------------

void write_vesk(benchmark::State& state, const std::string& text) {
  vesk::JsonValue value;
  vesk::parse_json(text, value);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    std::string out;
    vesk::write_json(value, out);
    bytes += static_cast<std::int64_t>(out.size());
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(bytes);
}

void write_rapidjson(benchmark::State& state, const std::string& text) {
  rapidjson::Document doc;
  doc.Parse(text.data(), text.size());
  std::int64_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    bytes += static_cast<std::int64_t>(buffer.GetSize());
    benchmark::DoNotOptimize(buffer);
  }
  state.SetBytesProcessed(bytes);
}

void BM_WriteSave_Vesk(benchmark::State& state) { write_vesk(state, save_message()); }
void BM_WriteSave_RapidJSON(benchmark::State& state) { write_rapidjson(state, save_message()); }
void BM_WriteManifest_Vesk(benchmark::State& state) { write_vesk(state, manifest()); }
void BM_WriteManifest_RapidJSON(benchmark::State& state) { write_rapidjson(state, manifest()); }

// --- quote (input bytes per second) -------------------------------------------

void BM_Quote_Vesk(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) benchmark::DoNotOptimize(vesk::json_quote(text));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_Quote_RapidJSON(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    benchmark::DoNotOptimize(buffer);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// What a straightforward byte-at-a-time loop achieves.
void BM_Quote_NaiveLoop(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (const char c : text) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            char esc[7];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
          } else {
            out.push_back(c);
          }
      }
    }
    out.push_back('"');
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// The ceiling: copying the same bytes into a fresh buffer.
void BM_Quote_Memcpy(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    std::unique_ptr<char[]> out(new char[text.size() + 2]);
    std::memcpy(out.get() + 1, text.data(), text.size());
    benchmark::DoNotOptimize(out.get());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

BENCHMARK(BM_ParseSave_Vesk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseSave_RapidJSON)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSave_Vesk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSave_RapidJSON)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quote_Vesk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quote_RapidJSON)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quote_NaiveLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quote_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseManifest_Vesk);
BENCHMARK(BM_ParseManifest_RapidJSON);
BENCHMARK(BM_WriteManifest_Vesk);
BENCHMARK(BM_WriteManifest_RapidJSON);
BENCHMARK(BM_ParseDirty_Vesk);
BENCHMARK(BM_ParseDirty_RapidJSON);
BENCHMARK(BM_ParseMessages_Vesk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseMessages_RapidJSON)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
