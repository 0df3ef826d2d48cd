// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>

#include "link/config/config_inputs.h"

namespace kulve {
namespace {

bool TokenHas(WELL_KNOWN_SID_TYPE type) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  if (!::CreateWellKnownSid(type, nullptr, sid, &size)) return false;
  BOOL member = FALSE;
  return ::CheckTokenMembership(nullptr, sid, &member) && member;
}

// A service (the SERVICE group is in its token) or one of the service
// accounts: %APPDATA% there belongs to an account no user logs on with, or
// to whoever the service impersonates, so the per-user file is not read.
bool RunsAsService() {
  static const bool service = TokenHas(WinServiceSid) || TokenHas(WinLocalSystemSid) ||
                              TokenHas(WinLocalServiceSid) || TokenHas(WinNetworkServiceSid);
  return service;
}

class Win32ConfigInputs final : public ConfigInputs {
 public:
  // The process environment itself, so a value set with
  // SetEnvironmentVariable before the first LinkCom counts.
  std::optional<std::string> Variable(const char* name) const override {
    if (std::strcmp(name, "APPDATA") == 0 && RunsAsService()) return std::nullopt;
    char small[512];
    ::SetLastError(ERROR_SUCCESS);  // an empty value returns 0 and leaves the error as it was
    DWORD n = ::GetEnvironmentVariableA(name, small, sizeof small);
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < sizeof small) return std::string(small, n);
    std::string value(n, '\0');
    n = ::GetEnvironmentVariableA(name, value.data(), n);
    value.resize(n < value.size() ? n : value.size());
    return value;
  }

  std::optional<std::string> ReadFile(const std::string& path) const override {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> text;
    if (::GetFileType(file) == FILE_TYPE_DISK) {
      text.emplace();
      char chunk[4096];
      DWORD n = 0;
      while (::ReadFile(file, chunk, sizeof chunk, &n, nullptr) && n > 0) {
        text->append(chunk, n);
        if (text->size() > kMaxConfigFile) break;  // reads as too large
      }
    }
    ::CloseHandle(file);
    return text;
  }

  std::string LibraryFolder() const override {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&SystemConfigInputs), &self)) {
      return {};
    }
    char path[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string folder(path, n);
    const auto slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
  }
};

}  // namespace

const ConfigInputs& SystemConfigInputs() {
  static const Win32ConfigInputs inputs;
  return inputs;
}

}  // namespace kulve
