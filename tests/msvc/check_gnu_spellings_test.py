#!/usr/bin/env python3
"""scripts/check-gnu-spellings on small sources: which spellings count as
guarded, and which are reported."""
import importlib.machinery
import importlib.util
import os
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-gnu-spellings")
loader = importlib.machinery.SourceFileLoader("check_gnu_spellings", SCRIPT)
spec = importlib.util.spec_from_loader(loader.name, loader)
lint = importlib.util.module_from_spec(spec)
loader.exec_module(lint)


def lines_hit(text):
    return [number for number, _ in lint.hits_in_text(text)]


class CheckGnuSpellingsTest(unittest.TestCase):
    def test_guards_that_only_gnu_compilers_read_hide_a_spelling(self):
        self.assertEqual(lines_hit(
            "#ifdef __GNUC__\nvoid f() __attribute__((noreturn));\n#endif\n"
            "#if defined(__GNUC__) && !defined(__clang__)\nint x = __builtin_expect(1, 1);\n#endif\n"
            "#ifndef _MSC_VER\nconst char* n = __PRETTY_FUNCTION__;\n#endif\n"
            "#if defined(_MSC_VER)\nint y;\n#else\n__int128 z;\n#endif\n"
            "#if !defined(_MSC_VER)\n#  if 1\n#include_next <a.h>\n#  endif\n#endif\n"), [])

    def test_unguarded_or_wrongly_guarded_spellings_are_reported(self):
        self.assertEqual(lines_hit(
            "void f() __attribute__((noreturn));\n"       # 1: no guard
            "#if defined(__GNUC__) || defined(_MSC_VER)\n"
            "int a = __builtin_popcount(3);\n"             # 3: Microsoft reads this branch too
            "#endif\n"
            "#ifdef __GNUC__\n#else\n"
            "const char* n = __PRETTY_FUNCTION__;\n"      # 7: the non-GNU branch
            "#endif\n"
            "#ifdef _MSC_VER\n__int128 z;\n#endif\n"      # 10: the Microsoft branch
            "#include_next <windows.h>\n"),               # 12
            [1, 3, 7, 10, 12])

    def test_comments_and_longer_names_are_not_spellings(self):
        self.assertEqual(lines_hit(
            "// cl.exe rejects __attribute__ here\n"
            "/* __builtin_trap\n   __int128 */ int a;\n"
            "int my__attribute__x; int __int1280;\n"), [])


if __name__ == "__main__":
    unittest.main()
