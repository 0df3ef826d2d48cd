-- SPDX-License-Identifier: MIT
-- @description The simulated KULVE32 CPU card: ATR, application, files, a challenge
-- @targets 0.8
--
-- A cardpeek script for the card kulvesim puts in the CPU card slot, read
-- through pcscd and the kulve-pcsc driver (scripts/pcsc_screenshot.sh).
require('lib.apdu')

local APPLICATION = "F0 4B 55 4C 56 45 31"

local function command(hex)
  return card.send(bytes.new(8, hex))
end

if card.connect() then
  local root = card.tree_startup("KULVE32 CPU card")
  local sw, fci = command("00 A4 04 00 07 " .. APPLICATION .. " 00")
  local app = root:append({ classname = "application", label = "application", id = APPLICATION,
                            size = #fci, val = fci })
  app:append({ classname = "item", label = "SELECT status", val = string.format("%04X", sw) })
  for _, file in ipairs({ { "01 01", "holder text" }, { "01 02", "data" } }) do
    command("00 A4 00 0C 02 " .. file[1])
    local rsw, data = command("00 B0 00 00 00")
    app:append({ classname = "file", label = file[2], id = file[1], size = #data, val = data })
  end
  local csw, challenge = command("00 84 00 00 08")
  root:append({ classname = "item", label = "GET CHALLENGE", size = #challenge, val = challenge })
  card.disconnect()
end
