// SPDX-License-Identifier: MIT
#include "tools/atr_text.h"

#include <cstdio>
#include <string>

#include "text/hex.h"

namespace kulve::tool {
namespace {

// Clock rate conversion factor Fi with its f(max) in kHz, and baud rate
// adjustment factor Di, by the nibbles of TA1; 0 = reserved.
constexpr int kFi[16] = {372, 372, 558, 744, 1116, 1488, 1860, 0, 0, 512, 768, 1024, 1536, 2048, 0, 0};
constexpr int kFmaxKhz[16] = {4000, 5000, 6000, 8000, 12000, 16000, 20000, 0, 0, 5000, 7500, 10000, 15000, 20000, 0, 0};
constexpr int kDi[16] = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

constexpr const char* kInterfaceNames = "ABC";  // TAi, TBi, TCi

std::string Format(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string Printable(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::uint8_t b : bytes) out += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
  return out;
}

// The interface bytes of group i that the high nibble y announces.
std::string Following(std::uint8_t y, int i) {
  std::string out;
  for (int k = 0; k < 4; ++k) {
    if ((y & (0x10 << k)) == 0) continue;
    if (!out.empty()) out += ' ';
    out += (k == 3 ? std::string("TD") : std::string("T") + kInterfaceNames[k]) + std::to_string(i);
  }
  return out.empty() ? "no interface bytes follow" : out + " follow";
}

std::string Ta1(std::uint8_t b) {
  const int fi = kFi[b >> 4], di = kDi[b & 0xF];
  if (fi == 0 || di == 0) return "Fi/Di reserved values";
  return Format("Fi=%d Di=%d (%d clock cycles per bit, f max %.1f MHz)", fi, di, fi / di, kFmaxKhz[b >> 4] / 1000.0);
}

// The meaning of interface byte T<kind><i> (kind 0 = A, 1 = B, 2 = C), given
// the protocol named by the TD byte before it (i >= 2).
std::string InterfaceMeaning(int kind, int i, int protocol, std::uint8_t b) {
  if (i == 1) {
    if (kind == 0) return Ta1(b);
    if (kind == 1) return "programming voltage (no longer used)";
    return b == 0xFF ? "extra guard time: minimal (N=255)" : Format("extra guard time %d etu", b);
  }
  if (i == 2 && kind == 0) {
    return Format("specific mode, T=%d%s", b & 0xF, (b & 0x10) != 0 ? ", parameters implicit" : "");
  }
  if (i == 2 && kind == 1) return "programming voltage (no longer used)";
  if (i == 2 && kind == 2 && protocol == 0) return Format("T=0 work waiting time WI=%d", b);
  if (protocol == 1 && i >= 3) {
    if (kind == 0) return Format("T=1 IFSC %d bytes", b);
    if (kind == 1) return Format("T=1 BWI %d, CWI %d", b >> 4, b & 0xF);
    return (b & 1) != 0 ? "T=1 error detection: CRC" : "T=1 error detection: LRC";
  }
  if (protocol == 15 && kind == 0) {
    static constexpr const char* kClockStop[] = {"not supported", "state L", "state H", "no preference"};
    return Format("clock stop %s, class bits %02X", kClockStop[b >> 6], b & 0x3F);
  }
  if (protocol == 15 && kind == 1) return Format("SPU use %02X", b);
  return Format("for T=%d", protocol);
}

}  // namespace

AtrExplanation ExplainAtr(std::span<const std::uint8_t> atr) {
  AtrExplanation out;
  auto line = [&](const std::string& label, std::uint8_t b, const std::string& meaning) {
    out.lines.push_back(Format("%-4s %02X  ", label.c_str(), b) + meaning);
  };
  if (atr.empty()) {
    out.lines.push_back("empty ATR");
    return out;
  }
  const std::uint8_t ts = atr[0];
  line("TS", ts, ts == 0x3B ? "direct convention" : ts == 0x3F ? "inverse convention" : "not a valid TS");
  if (atr.size() < 2) {
    out.lines.push_back("the ATR ends before T0");
    return out;
  }
  const std::uint8_t t0 = atr[1];
  const std::size_t historical = t0 & 0xF;
  line("T0", t0, Following(t0, 1) + Format("; %zu historical bytes", historical));

  std::size_t at = 2;
  std::uint8_t y = t0;
  int protocol = 0;  // of the TD byte that announced the current group
  bool needsTck = false;
  bool truncated = false;
  for (int i = 1; !truncated; ++i) {
    for (int kind = 0; kind < 3; ++kind) {
      if ((y & (0x10 << kind)) == 0) continue;
      const std::string label = std::string("T") + kInterfaceNames[kind] + std::to_string(i);
      if (at >= atr.size()) {
        out.lines.push_back("the ATR ends before " + label);
        truncated = true;
        break;
      }
      line(label, atr[at], InterfaceMeaning(kind, i, protocol, atr[at]));
      ++at;
    }
    if (truncated || (y & 0x80) == 0) break;
    const std::string label = "TD" + std::to_string(i);
    if (at >= atr.size()) {
      out.lines.push_back("the ATR ends before " + label);
      truncated = true;
      break;
    }
    const std::uint8_t td = atr[at++];
    protocol = td & 0xF;
    out.protocols.push_back(protocol);
    needsTck = needsTck || protocol != 0;
    line(label, td, Following(td, i + 1) + Format("; protocol T=%d", protocol));
    y = td;
  }
  if (out.protocols.empty()) out.protocols.push_back(0);
  if (truncated) return out;

  const std::size_t haveHistorical = std::min(historical, atr.size() - at);
  if (historical > 0) {
    const auto bytes = atr.subspan(at, haveHistorical);
    out.lines.push_back(Format("historical bytes (%zu): ", historical) + FormatHex(bytes) + "  \"" + Printable(bytes) + "\"");
    at += haveHistorical;
    if (haveHistorical < historical) {
      out.lines.push_back(Format("the ATR ends %zu historical bytes early", historical - haveHistorical));
      return out;
    }
  }
  if (needsTck) {
    if (at >= atr.size()) {
      out.lines.push_back("the ATR ends before TCK");
      return out;
    }
    std::uint8_t check = 0;
    for (std::size_t k = 1; k <= at; ++k) check ^= atr[k];
    line("TCK", atr[at], check == 0 ? "correct" : Format("WRONG: T0 to TCK XOR to %02X, not 00", check));
    ++at;
  }
  if (at < atr.size()) out.lines.push_back(Format("%zu more bytes after the ATR's end: ", atr.size() - at) + FormatHex(atr.subspan(at)));
  out.complete = true;
  return out;
}

}  // namespace kulve::tool
