#include "http.h"

#include <cctype>
#include <charconv>

namespace vesk::cdp {
namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string http_get_request(std::string_view host_and_port, std::string_view path) {
  std::string request = "GET ";
  request.append(path.empty() ? "/" : path).append(" HTTP/1.1\r\n");
  request.append("Host: ").append(host_and_port).append("\r\n");
  request.append("Accept: application/json\r\n\r\n");
  return request;
}

const std::string* HttpHead::header(std::string_view lower_name) const {
  for (const auto& [name, value] : headers) {
    if (name == lower_name) return &value;
  }
  return nullptr;
}

bool parse_http_head(std::string_view head, HttpHead& out) {
  out = {};
  std::size_t line_end = head.find("\r\n");
  std::string_view status_line = head.substr(0, line_end);
  if (status_line.substr(0, 5) != "HTTP/") return false;
  const std::size_t space = status_line.find(' ');
  if (space == std::string_view::npos || status_line.size() < space + 4) return false;
  const std::string_view code = status_line.substr(space + 1, 3);
  const auto parsed = std::from_chars(code.data(), code.data() + code.size(), out.status);
  if (parsed.ec != std::errc() || parsed.ptr != code.data() + code.size()) return false;

  while (line_end != std::string_view::npos) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, line_end == std::string_view::npos ? std::string_view::npos : line_end - start);
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    out.headers.emplace_back(lower(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1))));
  }
  return true;
}

HttpResponseReader::State HttpResponseReader::feed(std::string_view bytes) {
  if (state_ != State::Incomplete) return state_;
  if (!have_head_) {
    buffer_.append(bytes);
    const std::size_t end = buffer_.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (buffer_.size() > 64 * 1024) state_ = State::Error;
      return state_;
    }
    if (!parse_http_head(std::string_view(buffer_).substr(0, end), head_)) return state_ = State::Error;
    have_head_ = true;
    if (const std::string* length = head_.header("content-length")) {
      const auto parsed = std::from_chars(length->data(), length->data() + length->size(), length_);
      if (parsed.ec != std::errc() || parsed.ptr != length->data() + length->size()) return state_ = State::Error;
      has_length_ = true;
    }
    if (head_.header("transfer-encoding")) return state_ = State::Error;
    bytes = std::string_view(buffer_).substr(end + 4);
    body_.assign(bytes);
    buffer_.clear();
  } else {
    body_.append(bytes);
  }
  if (has_length_ && body_.size() > length_) return state_ = State::Error;
  if (body_.size() > max_body_) return state_ = State::Error;
  if (has_length_ && body_.size() == length_) state_ = State::Complete;
  return state_;
}

HttpResponseReader::State HttpResponseReader::finish() {
  if (state_ != State::Incomplete) return state_;
  state_ = (have_head_ && !has_length_) ? State::Complete : State::Error;
  return state_;
}

}  // namespace vesk::cdp
