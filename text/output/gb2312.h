#pragma once

// Whether GB 2312 itself has a character at this code of code page 936
// (lead and trail bytes 0xA1-0xFE), from ICU's table of GB 2312.
namespace charlib {

bool in_gb2312(unsigned lead, unsigned trail);

}  // namespace charlib
