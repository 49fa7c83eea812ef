# Puts what Vesk.exe loads at run time beside it: the built editor page
# (web/, made by `npm run build` in page/), the editor font and, for runs
# under Wine, the Chromium-backed WebView2Loader.dll. Missing sources are
# skipped with a note, so the executable still builds before the page does.
#   cmake -DBIN=<dir> -DWEB=<dir> -DFONT=<file> [-DLOADER=<dll>] -P stage_runtime.cmake
foreach(name editor.html editor.css editor.js diagrams.js pinyin.js themes/paper.css)
  if(EXISTS "${WEB}/${name}")
    get_filename_component(folder "${BIN}/web/${name}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${WEB}/${name}" "${BIN}/web/${name}" ONLY_IF_DIFFERENT)
  else()
    message(STATUS "web/${name} not built yet (cd page && npm run build)")
  endif()
endforeach()
if(EXISTS "${FONT}")
  get_filename_component(font_name "${FONT}" NAME)
  file(MAKE_DIRECTORY "${BIN}/fonts")
  file(COPY_FILE "${FONT}" "${BIN}/fonts/${font_name}" ONLY_IF_DIFFERENT)
else()
  message(STATUS "${FONT} missing (Debian package fonts-jetbrains-mono)")
endif()
if(LOADER)
  file(COPY_FILE "${LOADER}" "${BIN}/WebView2Loader.dll" ONLY_IF_DIFFERENT)
endif()
