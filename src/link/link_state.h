// SPDX-License-Identifier: MIT
// Link: everything the exchange keeps about one reader connection: the port
// and its settings, the request/reply record, the trace. Nothing a card
// family keeps lives here; the reader object above (device/reader.h) holds
// that and learns of a new link through LinkStarting().
#pragma once

#include "link/command_block.h"
#include "link/reader_context.h"
#include "link/trace.h"

namespace kulve {

struct Link {
  explicit Link(PortSystem& platform) : context(platform) {}
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  virtual ~Link() = default;

  // Called when a link attempt begins (LinkCom, AutoLinkCom, a relink):
  // whatever the layers above know about the reader is void from here on.
  virtual void LinkStarting() {}

  ReaderContext context;
  CommandBlock block;
  Tracer trace;
};

}  // namespace kulve
