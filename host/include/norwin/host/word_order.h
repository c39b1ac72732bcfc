// The case rules and the order of full-text index words: Windows-1252 text,
// compared without regard to case the way course discs were sorted by the
// Windows string comparison (`lstrcmpi`) of the systems that built them.
//
// The index builder sorts its word file with CompareIndexWords and the search
// looks words up by bisection with the same function, so the two always agree.
// The order is defined as follows (bytes are Windows-1252 characters):
//
//  1. Case is ignored: A-Z, the Latin-1 capitals 0xC0-0xDE (except 0xD7, the
//     multiplication sign) and the capitals Š Œ Ž Ÿ compare as their small
//     letters (LowerCp1252).
//  2. Each character stands for one or two collation elements, each a
//     primary weight (the base letter) and a secondary weight (the accent):
//     - letters: the primary is the base letter a-z; accented letters share
//       the primary of their base letter and differ by their accent, in this
//       order: none, acute, grave, circumflex, caron, ring, diaeresis, tilde,
//       cedilla, stroke, ordinal (ª º), hook (ƒ), ligature, sharp s;
//       æ and œ are the elements a+e and o+e, ß is s+s, each marked as a
//       ligature or sharp s, so that "æ" sorts among the "ae" words;
//       ð sorts after d, þ after z and µ after þ, each as a letter of its own;
//     - digits 0-9 come before every letter; ¹ ² ³ are the digits 1, 2, 3
//       with a superscript mark;
//     - every other character (blanks, punctuation, symbols, controls) comes
//       before the digits, in the order of its byte value.
//  3. Two strings compare first by their sequences of primary weights (a
//     sequence that is a prefix of the other sorts first) and, when those are
//     equal, by their sequences of secondary weights. So "cote" < "côte" <
//     "coter", and "Éte" equals "éTE".
//
// Two strings compare equal exactly when their LowerCp1252 forms are the
// same bytes, which makes this a total order on lower-case words: a sorted
// word file without byte-identical duplicates has no equal neighbours.
//
// For words of ASCII letters and digits this is plain byte order of the
// lower-case forms, the same as lstrcmpi's. Windows also gives hyphens and
// apostrophes almost no weight ("co-op" sorts with "coop"); that is not
// copied, since index words never contain them.
#pragma once

#include <string_view>

namespace norwin::host {

// The small letter of a Windows-1252 character, or the character itself.
char LowerCp1252(char c);

// Whether the Windows-1252 character is a letter or a digit: the characters
// index words are made of. The superscript digits, fractions and symbols are
// not; ª, º, µ, ƒ and the accented letters are.
bool IsCp1252WordChar(char c);

// Negative, zero or positive as `a` sorts before, with or after `b` in the
// order described above. Both are Windows-1252 byte strings of any length and
// content (a NUL byte is compared as any other symbol).
int CompareIndexWords(std::string_view a, std::string_view b);

}  // namespace norwin::host
