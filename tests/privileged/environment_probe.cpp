// SPDX-License-Identifier: MIT
// What the library took from the environment, for privileged_test.sh: the
// paths of ports 0..3 (from KULVE32_PORTS or a configuration file), then a
// handle on a path that does not exist, whose failure goes to the trace.
#include <cstdio>

#include "kulve32.h"

int main() {
  for (int port = 0; port < 4; ++port) {
    char path[KULVE_MAX_PORT_PATH + 1] = {};
    GetComPortPath(port, path, sizeof path);
    std::printf("port %d %s\n", port, path);
  }
  kulve_reader* reader = nullptr;
  kulve_open("/nonexistent/kulve-privileged-probe", &reader);
  kulve_close(reader);
  return 0;
}
