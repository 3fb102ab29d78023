// Initial register values for the simulator, from a TOML file:
//
//   [[set]]                       # raw registers of a word area
//   area = "D"
//   address = 100
//   values = [1, 2, 3]            # D100 = 1, D101 = 2, D102 = 3
//
//   [[set]]                       # bits of a bit area
//   area = "M"
//   address = 0
//   values = [1, 0, true]
//
//   [[set]]                       # typed values, laid out for a byte order
//   area = "D"
//   address = 40
//   type = "DF"                   # WUB WB WD DUB DB DD DF LUB LB LD LF BT00-BT15 STR
//   value = 1.5                   # or values = [1.5, 2.5] (consecutive)
//   order = 0                     # byte-order option number or text, e.g. "2 - 3412"
//
//   [[set]]
//   area = "D"
//   address = 100
//   type = "STR"
//   value = "hello"
//   encoding = 0                  # 0 / "0 - ASCII" or 1 / "1 - UNICODE"
//   order = 1                     # string order: 0 / "0 - 21" swapped, 1 / "1 - 12" as is
//   length = 16                   # bytes: the text is cut or padded with zero bytes
//
// `order` is the option the device is configured with for that width; the
// bytes are placed so that such a device reads the value back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plc/plc_model.h"

namespace vemo {

struct RegisterWrite {
    int area = 0;
    uint32_t address = 0;
    // Bit area: one element per value (0/1). Word area: one register per
    // value, unless registerBit >= 0: then one bit per value, from that bit
    // of the register at address on (bit 15 carries on to the next register).
    std::vector<uint16_t> values;
    int registerBit = -1;
    uint32_t line = 0;  // where it was set, for messages
};

// Throw InputError ("FILE:LINE: ...") for anything they cannot use.
std::vector<RegisterWrite> parseInitText(const std::string& text, const std::string& sourceName);
std::vector<RegisterWrite> parseInitFile(const std::string& path);

void applyInit(const std::vector<RegisterWrite>& writes, plc::Memory& memory);

}  // namespace vemo
