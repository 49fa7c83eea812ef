#!/usr/bin/env python3
"""scripts/check-msvc's reading of a link probe: which unresolved names mean
a missing Windows library, and which GNU options must not reach cl.exe."""
import importlib.machinery
import importlib.util
import os
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-msvc")
loader = importlib.machinery.SourceFileLoader("check_msvc", SCRIPT)
spec = importlib.util.spec_from_loader(loader.name, loader)
check = importlib.util.module_from_spec(spec)
loader.exec_module(check)


class LinkProbeTest(unittest.TestCase):
    def test_only_imports_and_data_of_sdk_libraries_count_as_missing(self):
        ntdll = check.imports_and_data(["memcpy", "__imp_memcpy", "RtlGetVersion", "__imp_RtlGetVersion"])
        codecs = check.imports_and_data(["IID_IWICImagingFactory", "__imp_WICConvertBitmapSource",
                                         "WICConvertBitmapSource"])
        symbols = {s: "ntdll.lib" for s in ntdll} | {s: "windowscodecs.lib" for s in codecs}
        log = "\n".join([
            "[3/9] Linking CXX executable bin/Vesk.exe",
            "lld-link-19: warning: undefined symbol: memcpy",                   # the CRT's, not ntdll's
            "lld-link-19: warning: undefined symbol: __CxxFrameHandler4",       # the runtime's
            "lld-link-19: warning: undefined symbol: IID_IWICImagingFactory",   # data: windowscodecs.lib missing
            "[4/9] Linking CXX shared library tools/x.dll",
            "lld-link-19: warning: undefined symbol: __imp_RtlGetVersion",      # an import: ntdll.lib missing
            "lld-link-19: warning: undefined symbol: __imp_VeskNoSuchFunction",  # nobody's: not a Windows import
        ])
        self.assertEqual(check.unresolved_windows_imports(log, symbols), {
            "bin/Vesk.exe": {"IID_IWICImagingFactory": "windowscodecs.lib"},
            "tools/x.dll": {"__imp_RtlGetVersion": "ntdll.lib"},
        })

    def test_gnu_options_are_told_from_microsoft_ones(self):
        gnu = ["-Wall", "-Wextra", "-municode", "-static", "-static-libgcc", "-fsanitize=address", "-lpthreads"]
        microsoft = ["-W4", "-WX", "-wd4702", "-MT", "-Zi", "-std:c++20", "-imsvc/usr/include", "-utf-8", "-DUNICODE",
                     "-clang:-MD", "-TP", "-c", "-nologo"]
        self.assertEqual([o for o in gnu + microsoft if check.GNU_OPTION.match(o)], gnu)


if __name__ == "__main__":
    unittest.main()
