#include "core/commands.h"

namespace vesk {

const std::vector<CommandSpec>& command_table() {
  // A function-local static: initialised once, thread-safe, never destroyed
  // before callers that hold a record are done with it.
  static const std::vector<CommandSpec> table = {
      {command_id(Command::New), "新建", {"cmd+n"}, "", false},
      {command_id(Command::Open), "打开", {"cmd+o"}, "", false},
      {command_id(Command::Save), "保存", {"cmd+s"}, "", false},
      {command_id(Command::SaveAs), "另存为", {"cmd+shift+s"}, "", false},
      {command_id(Command::ExportHtml), "导出 HTML\u2026", {"cmd+option+e"}, "", false},
      {command_id(Command::ExportPdf), "导出 PDF\u2026", {"cmd+p"}, "", false},
      {command_id(Command::Undo), "撤销", {"cmd+z"}, "", false},
      {command_id(Command::Redo), "重做", {"cmd+shift+z"}, "", false},
      {command_id(Command::Cut), "剪切", {"cmd+x"}, "", false},
      {command_id(Command::Copy), "复制", {"cmd+c"}, "", false},
      {command_id(Command::Paste), "粘贴", {"cmd+v"}, "", false},
      {command_id(Command::SelectAll), "全选", {"cmd+a"}, "", false},
      {command_id(Command::Bold), "粗体", {"cmd+b"}, "bold", false},
      {command_id(Command::Italic), "斜体", {"cmd+i"}, "italic", false},
      {command_id(Command::InlineCode), "行内代码", {"cmd+shift+k"}, "inlineCode", false},
      {command_id(Command::Link), "链接", {"cmd+k"}, "link", false},
      {command_id(Command::Heading1), "标题 1", {"cmd+1"}, "h1", false},
      {command_id(Command::Heading2), "标题 2", {"cmd+2"}, "h2", false},
      {command_id(Command::Heading3), "标题 3", {"cmd+3"}, "h3", false},
      {command_id(Command::Paragraph), "正文", {}, "paragraph", false},
      {command_id(Command::BulletList), "无序列表", {"cmd+shift+8"}, "ul", false},
      {command_id(Command::NumberedList), "有序列表", {"cmd+shift+7"}, "ol", false},
      {command_id(Command::Quote), "引用", {"cmd+shift+b"}, "quote", false},
      {command_id(Command::CodeBlock), "代码块", {"cmd+shift+c"}, "codeBlock", false},
      {command_id(Command::Table), "表格", {"cmd+shift+t"}, "table", false},
      {command_id(Command::HorizontalRule), "分隔线", {}, "hr", false},
      {command_id(Command::ToggleToc), "目录", {"cmd+shift+l"}, "", true},
      {command_id(Command::ToggleSource), "源码模式", {"cmd+e", "cmd+/"}, "", true},
      {command_id(Command::DarkMode), "深色模式", {"cmd+shift+d"}, "", true},
      {command_id(Command::FollowSystemTheme), "跟随系统外观", {}, "", true},
      {command_id(Command::ZoomIn), "放大", {"cmd+equal", "cmd+shift+equal", "cmd+plus"}, "", false},
      {command_id(Command::ZoomOut), "缩小", {"cmd+minus"}, "", false},
      {command_id(Command::ActualSize), "实际大小", {"cmd+0"}, "", false},
      {command_id(Command::OpenFolder), "打开文件夹\u2026", {}, "", false},
      {command_id(Command::ToggleFiles), "文件", {"cmd+shift+e"}, "", true},
      {command_id(Command::QuickOpen), "快速打开\u2026", {"cmd+option+p"}, "", false},
      {command_id(Command::SearchFiles), "在文件中搜索\u2026", {"cmd+shift+f"}, "", false},
      {command_id(Command::NewWindow), "新建窗口", {"cmd+shift+n"}, "", false},
      {command_id(Command::Find), "查找", {"cmd+f"}, "", false},
      {command_id(Command::Replace), "替换", {"cmd+h"}, "", false},
      {command_id(Command::History), "历史版本\u2026", {}, "", false},
  };
  return table;
}

const CommandSpec* find_command(int id) {
  for (const CommandSpec& command : command_table()) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

}  // namespace vesk
