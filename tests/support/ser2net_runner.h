// SPDX-License-Identifier: MIT
// Debian's ser2net in front of a device (the simulator's pty), started and
// stopped here: its own configuration in a temporary directory, a free
// loopback port, RFC 2217 or raw TCP. Used by the chain test and the
// network benchmark; needs nothing from GoogleTest.
#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace kulve::test {

// A loopback port nothing listens on right now.
inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

inline bool AcceptsConnections(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

class Ser2net {
 public:
  Ser2net() = default;
  ~Ser2net() { Stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // The installed program, or empty.
  static std::string Program() {
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
      if (::access(path, X_OK) == 0) return path;
    }
    return {};
  }

  // Starts serving `device`; false with `error` set when ser2net is missing
  // or does not come up within 30 s. Without charDelay, ser2net passes what
  // the line delivers at once instead of gathering it for a few character
  // times first.
  bool Start(const std::string& device, bool rfc2217, std::string& error, bool charDelay = true) {
    const std::string program = Program();
    if (program.empty()) {
      error = "ser2net is not installed";
      return false;
    }
    char dir[] = "/tmp/kulve-ser2net.XXXXXX";
    if (::mkdtemp(dir) == nullptr) {
      error = "mkdtemp failed";
      return false;
    }
    dir_ = dir;
    rfc2217_ = rfc2217;
    charDelay_ = charDelay;
    for (int attempt = 0; attempt < 3; ++attempt) {  // another program may take the port first
      port_ = FreeLoopbackPort();
      if (Launch(program, device, error)) return true;
    }
    return false;
  }

  // rfc2217://127.0.0.1:PORT or tcp://127.0.0.1:PORT.
  std::string Url() const {
    return std::string(rfc2217_ ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
  }

  void Stop() {
    End();
    if (dir_.empty()) return;
    for (const char* file : {"/ser2net.yaml", "/ser2net.pid", "/ser2net.log"}) ::unlink((dir_ + file).c_str());
    ::rmdir(dir_.c_str());
    dir_.clear();
  }

 private:
  bool Launch(const std::string& program, const std::string& device, std::string& error) {
    const std::string config = dir_ + "/ser2net.yaml";
    std::ofstream(config) << "connection: &reader\n"
                          << "  accepter: " << (rfc2217_ ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port_
                          << "\n  connector: serialdev," << device << ",57600n81,local\n"
                          << "  options:\n    kickolduser: true\n"
                          << (charDelay_ ? "" : "    chardelay: false\n");
    const std::string log = dir_ + "/ser2net.log";
    const std::string pidFile = dir_ + "/ser2net.pid";
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, STDIN_FILENO);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      // A device server is a box of its own on a real network: like the
      // simulated reader behind it, it relays in its own time when it may.
      (void)::setpriority(PRIO_PROCESS, 0, -15);
      // -n: stay in the foreground; -d: log to standard output; -u: no UUCP
      // lock files; its own pid file and configuration.
      ::execl(program.c_str(), "ser2net", "-n", "-d", "-u", "-P", pidFile.c_str(), "-c", config.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0) {
      error = "fork failed";
      return false;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);  // slow on a loaded machine
    while (std::chrono::steady_clock::now() < end) {
      if (AcceptsConnections(port_)) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    End();
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    error = "ser2net did not come up on port " + std::to_string(port_) + ": " + text.str();
    return false;
  }

  // Ends the process this object started, by its id.
  void End() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
  std::string dir_;
  int port_ = 0;
  bool rfc2217_ = true;
  bool charDelay_ = true;
};

}  // namespace kulve::test
