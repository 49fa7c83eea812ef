// Path rules decided from the text alone: file name, stem, extension, which
// files are documents or images, and a folder's file URL. Paths are UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Text after the last "/" or "\", or the whole path.
std::string path_file_name(std::string_view path);
// Text after the last "." of the file name when that dot is neither its first
// nor its last character; otherwise empty.
std::string path_extension(std::string_view path);
// The name up to its last "." unless that dot leads the name or is missing.
std::string path_stem(std::string_view name);
// Appends "." + extension when the file name has no dot at all (a leading dot
// counts as one).
std::string ensure_extension(std::string_view path, std::string_view extension);

// md, markdown, mdown, mkd, txt (ASCII case-insensitive).
bool is_markdown_path(std::string_view path);
// png, jpg, jpeg, gif, webp, heic, tif, tiff, bmp (ASCII case-insensitive).
bool is_image_path(std::string_view path);

// "file:///C:/Users/me/Docs/": separators turned to "/", unsafe bytes
// percent-escaped, always ending in "/".
std::string directory_file_url(std::string_view folder);
// "%" and two hex digits (either case) become that byte; everything else,
// "+" and a lone "%" included, is copied unchanged.
std::string percent_decode(std::string_view text);

// UTF-8 text to a native path and back, so Chinese names work on Windows
// (UTF-16 underneath) as well as on Linux.
std::filesystem::path to_fs_path(std::string_view utf8);
std::string from_fs_path(const std::filesystem::path& path);

// Absolute against the current folder and lexically normalised, without
// touching the disk; the path unchanged when it cannot be made absolute.
std::string absolute_normal_path(std::string_view utf8);

// A share path (\\server\share\...) with ".", ".." and repeated separators
// resolved lexically; ".." stops at the share. Used where the standard
// library does not understand share roots.
std::string normalize_share_path(std::string_view path, char separator);

// Reads a whole regular file. False when it cannot be opened, is not a
// regular file, or a read comes up short.
bool read_file_bytes(std::string_view utf8, std::vector<unsigned char>& bytes);

}  // namespace vesk
