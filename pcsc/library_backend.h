// SPDX-License-Identifier: MIT
// The driver's reader: a handle of the library's own (kulve_open) on the
// device pcscd names, driven through the handle functions. APDUs go through
// the full block protocol (kulve_chip_transmit), where each chip slot keeps
// its own protocol and T=1 state, so cards of different protocols in
// different slots are served side by side.
#pragma once

#include <memory>
#include <string>

#include "pcsc/backend.h"

namespace kulve::pcsc {

std::unique_ptr<ReaderBackend> OpenLibraryBackend(const std::string& device, std::string& why);

}  // namespace kulve::pcsc
