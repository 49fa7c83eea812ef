// Just enough HTTP/1.1 for DevTools' discovery endpoint (/json/version) and
// the WebSocket upgrade. The DevTools server keeps connections open, so a
// body ends by its Content-Length, not by the server closing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk::cdp {

std::string http_get_request(std::string_view host_and_port, std::string_view path);

struct HttpHead {
  int status = 0;
  // Names in lower case, values trimmed.
  std::vector<std::pair<std::string, std::string>> headers;
  const std::string* header(std::string_view lower_name) const;
};

// The status line and headers, without the blank line that ends them.
bool parse_http_head(std::string_view head, HttpHead& out);

// Collects one response from the bytes as they arrive.
class HttpResponseReader {
 public:
  enum class State { Incomplete, Complete, Error };
  explicit HttpResponseReader(std::size_t max_body = 16u << 20) : max_body_(max_body) {}

  State feed(std::string_view bytes);
  // The server closed the connection: a response without Content-Length ends
  // here; one with a length that did not arrive in full is an error.
  State finish();

  const HttpHead& head() const { return head_; }
  const std::string& body() const { return body_; }

 private:
  State state_ = State::Incomplete;
  std::size_t max_body_;
  std::string buffer_;
  bool have_head_ = false;
  bool has_length_ = false;
  std::size_t length_ = 0;
  HttpHead head_;
  std::string body_;
};

}  // namespace vesk::cdp
