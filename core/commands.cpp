#include "core/commands.h"

namespace vesk {

const std::vector<CommandSpec>& command_table() {
  // A function-local static: initialised once, thread-safe, never destroyed
  // before callers that hold a record are done with it.
  static const std::vector<CommandSpec> table = {
      {1, "新建", {"cmd+n"}, "", false},
      {2, "打开", {"cmd+o"}, "", false},
      {3, "保存", {"cmd+s"}, "", false},
      {4, "另存为", {"cmd+shift+s"}, "", false},
      {5, "导出 HTML\u2026", {"cmd+option+e"}, "", false},
      {6, "导出 PDF\u2026", {"cmd+p"}, "", false},
      {7, "撤销", {"cmd+z"}, "", false},
      {8, "重做", {"cmd+shift+z"}, "", false},
      {9, "剪切", {"cmd+x"}, "", false},
      {10, "复制", {"cmd+c"}, "", false},
      {11, "粘贴", {"cmd+v"}, "", false},
      {12, "全选", {"cmd+a"}, "", false},
      {13, "粗体", {"cmd+b"}, "bold", false},
      {14, "斜体", {"cmd+i"}, "italic", false},
      {15, "行内代码", {"cmd+shift+k"}, "inlineCode", false},
      {16, "链接", {"cmd+k"}, "link", false},
      {17, "标题 1", {"cmd+1"}, "h1", false},
      {18, "标题 2", {"cmd+2"}, "h2", false},
      {19, "标题 3", {"cmd+3"}, "h3", false},
      {20, "正文", {}, "paragraph", false},
      {21, "无序列表", {"cmd+shift+8"}, "ul", false},
      {22, "有序列表", {"cmd+shift+7"}, "ol", false},
      {23, "引用", {"cmd+shift+b"}, "quote", false},
      {24, "代码块", {"cmd+shift+c"}, "codeBlock", false},
      {25, "表格", {"cmd+shift+t"}, "table", false},
      {26, "分隔线", {}, "hr", false},
      {27, "目录", {"cmd+shift+l"}, "", true},
      {28, "源码模式", {"cmd+e", "cmd+/"}, "", true},
      {29, "深色模式", {"cmd+shift+d"}, "", true},
      {30, "跟随系统外观", {}, "", true},
      {31, "放大", {"cmd+equal", "cmd+shift+equal", "cmd+plus"}, "", false},
      {32, "缩小", {"cmd+minus"}, "", false},
      {33, "实际大小", {"cmd+0"}, "", false},
      {34, "打开文件夹\u2026", {}, "", false},
      {35, "文件", {"cmd+shift+e"}, "", true},
      {36, "快速打开\u2026", {"cmd+option+p"}, "", false},
      {37, "在文件中搜索\u2026", {"cmd+shift+f"}, "", false},
      {38, "新建窗口", {"cmd+shift+n"}, "", false},
      {39, "查找", {"cmd+f"}, "", false},
      {40, "替换", {"cmd+h"}, "", false},
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
