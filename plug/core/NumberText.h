#pragma once

#include <string>

namespace plug {

// Numbers as text always in the C form ("3.2", never "3,2"). Hosts may switch the process to a
// locale with a decimal comma, which changes what snprintf writes and strtod reads; texts that
// hosts, preset dumps and JSON readers parse must not follow it.

// As snprintf "%.*f", or "%+.*f" with plusSign.
std::string FixedText(double value, int decimals, bool plusSign = false);

// Reads the leading number as the C library's atof does in the C locale: white space, a sign,
// then the longest decimal or hexadecimal number, "inf" or "nan". False, with value 0, when no
// number follows.
bool ReadNumber(const char* text, double& value);

} // namespace plug
