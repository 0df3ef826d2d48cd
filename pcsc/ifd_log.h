// SPDX-License-Identifier: MIT
// The driver's log of its entry points, on pcscd's standard error (the
// journal, or the terminal of `pcscd --foreground`), one line per call:
//
//   kulve_ifd: IFDHPowerICC (lun: 0x10000) PowerUp -> IFD_SUCCESS
//
// KULVE_IFD_LOG in pcscd's environment: 0 nothing, 1 (the default) every
// call but the presence polls, whose changes alone are logged, 2 every
// poll too. APDUs are logged by their header and length only, and escape
// commands by their code, so no key, code or PIN reaches the log.
#pragma once

#include <string>

#include "pcsc/pcsclite.h"

namespace kulve::pcsc {

const char* ResultName(RESPONSECODE rv);
// The header of a command APDU and its length, never its data.
std::string ApduSummary(const UCHAR* apdu, DWORD length);
// Whether calls of this kind are logged at the level set.
bool LogWanted(bool poll);
void LogCall(const char* entry, DWORD lun, const std::string& detail, RESPONSECODE rv);

}  // namespace kulve::pcsc
