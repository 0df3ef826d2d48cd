// SPDX-License-Identifier: MIT
// Why LinkCom failed, told apart on real devices: a missing path, a device
// the user may not open, a port another process (or another handle of this
// one) holds, and a line where nothing answers.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

constexpr uid_t kNobody = 65534;

// A pseudo-terminal nobody serves: its slave path is a port that opens and
// stays silent.
class SilentPty {
 public:
  SilentPty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) path_ = ::ptsname(master_);
  }
  ~SilentPty() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string& Path() const { return path_; }

 private:
  int master_ = -1;
  std::string path_;
};

struct Failure {
  int code;
  std::string text;
};

Failure LinkFailureOf(const std::string& path) {
  PointAllPortsNowhere();
  EXPECT_EQ(SetComPortPath(0, path.c_str()), 0);
  EXPECT_EQ(LinkCom(0), 1);
  char text[256];
  const int code = GetLinkError(text, sizeof text);
  UnLinkCom();
  return {code, text};
}

// Runs LinkCom on path in a child process that has given up root, so the
// device's permissions apply; returns the error code the child saw.
int LinkFailureAsNobody(const std::string& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(100);
    PointAllPortsNowhere();
    SetComPortPath(0, path.c_str());
    const int linked = LinkCom(0);
    ::_exit(linked == 1 ? GetLinkError(nullptr, 0) : 101);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LinkErrors, MissingPathIsNotFound) {
  const Failure f = LinkFailureOf(kMissingPort);
  EXPECT_EQ(f.code, KULVE_LINK_ERROR_NOT_FOUND);
  EXPECT_EQ(f.text, std::string("open ") + kMissingPort + ": No such file or directory");
}

TEST(LinkErrors, DeviceTheUserMayNotOpenIsPermission) {
  SilentPty pty;
  ASSERT_FALSE(pty.Path().empty());
  ASSERT_EQ(::chmod(pty.Path().c_str(), 0600), 0);
  if (::geteuid() == 0) {
    EXPECT_EQ(LinkFailureAsNobody(pty.Path()), KULVE_LINK_ERROR_PERMISSION);
  } else {
    ASSERT_EQ(::chmod(pty.Path().c_str(), 0), 0);
    const Failure f = LinkFailureOf(pty.Path());
    EXPECT_EQ(f.code, KULVE_LINK_ERROR_PERMISSION);
    EXPECT_EQ(f.text, "open " + pty.Path() + ": Permission denied");
  }
}

TEST(LinkErrors, PortHeldByAnotherProcessIsBusy) {
  SilentPty pty;
  ASSERT_FALSE(pty.Path().empty());
  // This process had the port once and let it go: it is not the holder now.
  EXPECT_EQ(LinkFailureOf(pty.Path()).code, KULVE_LINK_ERROR_NO_ANSWER);
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {  // another program with the port open and locked
    const int fd = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char done;
    (void)!::read(release[0], &done, 1);
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  const Failure f = LinkFailureOf(pty.Path());
  EXPECT_EQ(f.code, KULVE_LINK_ERROR_BUSY);
  EXPECT_EQ(f.text.rfind("the port " + pty.Path() + " is held by another program", 0), 0u) << f.text;
  (void)!::write(release[1], "x", 1);
  ::waitpid(holder, nullptr, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(LinkErrors, PortHeldByAnotherHandleOfThisProcessSaysSo) {
  sim::Simulator reader;
  reader.Start();
  kulve_reader* first = nullptr;
  ASSERT_EQ(kulve_open(LinkPath(reader).c_str(), &first), 0);
  const Failure f = LinkFailureOf(reader.HostPath());
  EXPECT_EQ(f.code, KULVE_LINK_ERROR_BUSY);
  EXPECT_EQ(f.text.rfind("the port " + reader.HostPath() + " is held by another handle of this process", 0), 0u)
      << f.text;
  kulve_close(first);
  PointAllPortsNowhere();
  EXPECT_EQ(SetComPortPath(0, LinkPath(reader).c_str()), 0);
  EXPECT_EQ(LinkCom(0), 0) << "the port stays marked held after its handle closed";
  UnLinkCom();
}

TEST(LinkErrors, SilentLineIsNoAnswer) {
  SilentPty pty;
  ASSERT_FALSE(pty.Path().empty());
  const Failure f = LinkFailureOf(pty.Path());
  EXPECT_EQ(f.code, KULVE_LINK_ERROR_NO_ANSWER);
  EXPECT_EQ(f.text, "no answer at 57600 or 9600 on " + pty.Path() + " (link failure 'f': no answer to the start byte)");
}

}  // namespace
}  // namespace kulve::test
