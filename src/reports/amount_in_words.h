// The amount in words of the budget reports: a peso amount in Spanish upper
// case, "PESOS", the cents over 100 and "M.N.)", in the system's own wording
// ("DOS CIENTOS", "UN MIL", "UN PESOS") and with its blanks.
#pragma once

#include <string>

namespace velmora::reports {

// `amount` rounded to cents and laid out right-aligned in 16 characters,
// without separators, leading positions "*": "*********1234.50".
std::string layOutAmount(double amount);

// The words of a laid-out amount (layOutAmount), as the report field LETRAS
// holds them: " UN MIL PESOS 00/100. M.N.)" for 1000.
std::string amountInWords(const std::string& laidOut);

// Both steps.
inline std::string amountInWords(double amount) { return amountInWords(layOutAmount(amount)); }

}  // namespace velmora::reports
