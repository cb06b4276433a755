#include "ui/window/display_check.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace mirutone::ui {
namespace {

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// The local server's socket: the abstract name Linux servers listen on, then the file.
bool unix_reachable(int number) {
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
  for (bool abstract : {true, false}) {
    Socket s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.fd() < 0) return true;  // cannot tell; let Qt try
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::size_t offset = abstract ? 1 : 0;  // sun_path[0] == '\0' for the abstract name
    if (path.size() + offset >= sizeof addr.sun_path) return true;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    if (::connect(s.fd(), reinterpret_cast<sockaddr*>(&addr), len) == 0) return true;
  }
  return false;
}

bool tcp_reachable(const std::string& host, int number) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(6000 + number);
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a && !ok; a = a->ai_next) {
    Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (s.fd() < 0) continue;
    if (::connect(s.fd(), a->ai_addr, a->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{s.fd(), POLLOUT, 0};
      int err = 0;
      socklen_t errlen = sizeof err;
      ok = ::poll(&p, 1, 2000) == 1 && ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &err, &errlen) == 0 && err == 0;
    }
  }
  ::freeaddrinfo(found);
  return ok;
}

}  // namespace

bool x_display_reachable(const std::string& display) {
  // [host][/unix]:number[.screen]
  const auto colon = display.rfind(':');
  if (colon == std::string::npos || colon + 1 >= display.size()) return true;
  char* end = nullptr;
  const long number = std::strtol(display.c_str() + colon + 1, &end, 10);
  if (end == display.c_str() + colon + 1 || number < 0 || number > 65535 - 6000) return true;
  std::string host = display.substr(0, colon);
  if (host.size() >= 5 && host.compare(host.size() - 5, 5, "/unix") == 0) host.clear();
  if (host.empty() || host == "unix") return unix_reachable(static_cast<int>(number));
  if (host.find('/') != std::string::npos || host.back() == ':') return true;  // other transports: Qt decides
  return tcp_reachable(host, static_cast<int>(number));
}

}  // namespace mirutone::ui
