// For the end-to-end tests: answers the dialogs of a running Vesk.exe from
// outside, as the user at the screen would, and reports what they showed.
//   update_e2e_dialogs <record file> <seconds> [<text>=<button id>]...
// Waits for Vesk's main window, then watches the dialogs of its process: a
// dialog whose caption is, or one of whose texts contains, a rule's text
// gets that button pressed (the first rule that matches wins; no match, no
// press). Keeps a JSON record of Vesk's process id, every dialog state seen
// and every dialog answered, rewritten as they change, until that process
// ends or <seconds> pass.
// Exit code 0 when the process ended, 1 when no main window appeared, 2 when
// the process was still running at the deadline, 3 for bad arguments.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/json.h"
#include "tests/win/dialog_watcher.h"
#include "platform/strings.h"

namespace {

using vesk::testing::DialogSnapshot;
using vesk::testing::DialogWatcher;
using vesk::win::to_utf8;

struct AnswerRule {
  std::wstring text;
  int button = 0;
};

BOOL CALLBACK find_main_window(HWND window, LPARAM data) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (std::wcscmp(name, L"VeskNativeWindow") != 0) return TRUE;
  ::GetWindowThreadProcessId(window, reinterpret_cast<DWORD*>(data));
  return FALSE;
}

int button_for(const std::vector<AnswerRule>& rules, const DialogSnapshot& dialog) {
  for (const AnswerRule& rule : rules) {
    if (dialog.caption == rule.text || dialog.shows(rule.text)) return rule.button;
  }
  return 0;
}

vesk::JsonValue snapshot_json(const DialogSnapshot& dialog) {
  vesk::JsonValue out = vesk::JsonValue::make_object();
  out.members["window"] = vesk::JsonValue::make_number(static_cast<double>(reinterpret_cast<std::uintptr_t>(dialog.window)));
  out.members["caption"] = vesk::JsonValue::make_string(to_utf8(dialog.caption));
  vesk::JsonValue texts = vesk::JsonValue::make_array();
  for (const std::wstring& text : dialog.texts) texts.items.push_back(vesk::JsonValue::make_string(to_utf8(text)));
  out.members["texts"] = std::move(texts);
  vesk::JsonValue buttons = vesk::JsonValue::make_array();
  for (const int id : dialog.buttons) buttons.items.push_back(vesk::JsonValue::make_number(id));
  out.members["buttons"] = std::move(buttons);
  out.members["progress"] = vesk::JsonValue::make_number(dialog.progress);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 3;
  const std::wstring record_path = argv[1];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::wcstoul(argv[2], nullptr, 10));
  std::vector<AnswerRule> rules;
  for (int i = 3; i < argc; ++i) {
    const std::wstring rule = argv[i];
    const std::size_t equals = rule.rfind(L'=');
    if (equals == std::wstring::npos || equals == 0) return 3;
    rules.push_back({rule.substr(0, equals), static_cast<int>(std::wcstol(rule.c_str() + equals + 1, nullptr, 10))});
  }

  DWORD process_id = 0;
  while (!process_id && std::chrono::steady_clock::now() < deadline) {
    ::EnumWindows(find_main_window, reinterpret_cast<LPARAM>(&process_id));
    if (!process_id) ::Sleep(100);
  }
  if (!process_id) return 1;
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (!process) return 1;

  // Rewritten whenever something changes, so a test can follow along; the
  // last write says whether Vesk ended.
  const auto write_record = [&](const DialogWatcher& watcher, bool exited) {
    vesk::JsonValue record = vesk::JsonValue::make_object();
    vesk::JsonValue seen = vesk::JsonValue::make_array();
    for (const DialogSnapshot& dialog : watcher.seen()) seen.items.push_back(snapshot_json(dialog));
    vesk::JsonValue answered = vesk::JsonValue::make_array();
    for (const DialogSnapshot& dialog : watcher.answered()) {
      vesk::JsonValue entry = snapshot_json(dialog);
      entry.members["pressed"] = vesk::JsonValue::make_number(button_for(rules, dialog));
      answered.items.push_back(std::move(entry));
    }
    record.members["seen"] = std::move(seen);
    record.members["answered"] = std::move(answered);
    record.members["process"] = vesk::JsonValue::make_number(process_id);
    record.members["exited"] = vesk::JsonValue::make_bool(exited);
    std::string text;
    vesk::write_json(record, text);
    // Written aside and renamed, so a reader never sees half of it.
    const std::wstring partial = record_path + L".partial";
    FILE* out = _wfopen(partial.c_str(), L"wb");
    if (!out) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && written &&
           ::MoveFileExW(partial.c_str(), record_path.c_str(), MOVEFILE_REPLACE_EXISTING);
  };

  bool exited = false;
  {
    DialogWatcher watcher([&rules](const DialogSnapshot& dialog) { return button_for(rules, dialog); },
                          std::chrono::milliseconds(25), process_id);
    if (!write_record(watcher, false)) return 3;
    std::size_t seen_count = 0;
    std::size_t answered_count = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::WaitForSingleObject(process, 100) == WAIT_OBJECT_0) {
        exited = true;
        break;
      }
      const std::size_t seen = watcher.seen().size();
      const std::size_t answered = watcher.answered().size();
      if (seen != seen_count || answered != answered_count) {
        seen_count = seen;
        answered_count = answered;
        write_record(watcher, false);
      }
    }
    ::CloseHandle(process);
    if (!write_record(watcher, exited)) return 3;
  }
  return exited ? 0 : 2;
}
