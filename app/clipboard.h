// The system clipboard: what copying, cutting and pasting in the page need
// from it. Each call opens the clipboard for the given owner and closes it
// before returning; all fail quietly (the clipboard may be held by another
// program). UI thread; the image conversion needs COM on the calling thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vesk::win {

// Replaces the clipboard with the text and, when the HTML is not empty, its
// "HTML Format" rendering.
void clipboard_write_text_and_html(HWND owner, const std::string& text, const std::string& html);

// The Unicode text on the clipboard; empty when there is none or when files
// are on it (the text a file manager offers alongside is only their names).
std::string read_clipboard_text(HWND owner);

// A "PNG" entry as it is, else a CF_DIB converted to PNG. The MIME type is
// "image/png" whenever this returns true.
bool read_clipboard_image(HWND owner, std::vector<unsigned char>& bytes, std::string& mime);

// CF_DIB bytes (header, colour table or masks, pixels) to a PNG file.
bool dib_to_png(const std::vector<unsigned char>& dib, std::vector<unsigned char>& png);

// Whether a paste would find an image: CF_DIB or a "PNG" entry is offered.
// Does not open the clipboard.
bool clipboard_has_image();

}  // namespace vesk::win
