// An amount in words as a bid writes it: today's legal Spanish, upper case,
// in parentheses, with the cents over 100 and "M.N.":
// "(TRECE PESOS 69/100 M.N.)", "(UN PESO 00/100 M.N.)",
// "(UN MILLÓN DE PESOS 00/100 M.N.)".
//
// The budget reports keep the system's own wording (amount_in_words.h) unless
// the installation asks for this one; the tender outputs always use it.
// Thread rules: plain functions.
#pragma once

#include <string>

#include "framework/status.h"

namespace velmora::reports {

// Whether the accented capitals (DIECISÉIS, VEINTIÚN, MILLÓN) keep their
// accents; some firms write capitals without them.
enum class Accents { kKept, kDropped };

// The largest amount written in words: below a billón (a million millions)
// pesos every cent is held exactly by a double and read by the money rule.
inline constexpr double kLargestAmountInWords = 999'999'999'999.99;

// The words of `amount`, rounded once to the cent by the money rule
// (money::cents): "(DOS MILLONES QUINIENTOS MIL PESOS 00/100 M.N.)". A
// negative amount reads "(MENOS ...)" so that the words say the figure
// printed beside them; one that rounds to zero cents reads "(CERO PESOS 00/100
// M.N.)". An amount that is not finite, or beyond kLargestAmountInWords
// either way, is refused (kInvalid) and `words` is left as it was.
Status legalAmountInWords(double amount, Accents accents, std::string* words);

}  // namespace velmora::reports
