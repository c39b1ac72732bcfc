#include "norwin/host/word_order.h"

#include <array>
#include <cstdint>

namespace norwin::host {

namespace {

// Secondary weights, lowest first (see word_order.h).
enum Accent : uint8_t {
  kNone,
  kAcute,
  kGrave,
  kCircumflex,
  kCaron,
  kRing,
  kDiaeresis,
  kTilde,
  kCedilla,
  kStroke,
  kOrdinal,
  kHook,
  kSuperscript,
  kLigature,
  kSharpS,
};

// Primary weights: symbols by byte value, then digits, then letters. Letters
// are spaced two apart so that ð fits after d and µ after þ.
constexpr uint16_t kDigitBase = 0x200;
constexpr uint16_t kLetterBase = 0x300;
constexpr uint16_t Letter(char small) { return kLetterBase + 2 * (small - 'a'); }
constexpr uint16_t kEth = Letter('d') + 1;
constexpr uint16_t kThorn = Letter('z') + 2;
constexpr uint16_t kMicro = Letter('z') + 3;

// The one or two collation elements a character stands for.
struct Elements {
  uint16_t primary[2] = {0, 0};
  uint8_t secondary[2] = {0, 0};
  uint8_t count = 1;
};

constexpr Elements One(uint16_t primary, Accent accent = kNone) {
  Elements e;
  e.primary[0] = primary;
  e.secondary[0] = accent;
  return e;
}

constexpr Elements Two(char first, char second, Accent accent) {
  Elements e;
  e.primary[0] = Letter(first);
  e.primary[1] = Letter(second);
  e.secondary[0] = accent;
  e.secondary[1] = accent;
  e.count = 2;
  return e;
}

constexpr unsigned char LowerByte(unsigned char b) {
  if (b >= 'A' && b <= 'Z') return b + ('a' - 'A');
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return b + 0x20;
  switch (b) {
    case 0x8A:
      return 0x9A;  // Š
    case 0x8C:
      return 0x9C;  // Œ
    case 0x8E:
      return 0x9E;  // Ž
    case 0x9F:
      return 0xFF;  // Ÿ
    default:
      return b;
  }
}

// Elements of a small letter, digit or other character of Windows-1252.
constexpr Elements ElementsOfLower(unsigned char b) {
  if (b >= 'a' && b <= 'z') return One(Letter(static_cast<char>(b)));
  if (b >= '0' && b <= '9') return One(kDigitBase + (b - '0'));
  switch (b) {
    case 0x83:
      return One(Letter('f'), kHook);  // ƒ
    case 0x9A:
      return One(Letter('s'), kCaron);  // š
    case 0x9C:
      return Two('o', 'e', kLigature);  // œ
    case 0x9E:
      return One(Letter('z'), kCaron);  // ž
    case 0xAA:
      return One(Letter('a'), kOrdinal);  // ª
    case 0xB2:
      return One(kDigitBase + 2, kSuperscript);  // ²
    case 0xB3:
      return One(kDigitBase + 3, kSuperscript);  // ³
    case 0xB5:
      return One(kMicro);  // µ
    case 0xB9:
      return One(kDigitBase + 1, kSuperscript);  // ¹
    case 0xBA:
      return One(Letter('o'), kOrdinal);  // º
    case 0xDF:
      return Two('s', 's', kSharpS);  // ß
    case 0xE0:
      return One(Letter('a'), kGrave);
    case 0xE1:
      return One(Letter('a'), kAcute);
    case 0xE2:
      return One(Letter('a'), kCircumflex);
    case 0xE3:
      return One(Letter('a'), kTilde);
    case 0xE4:
      return One(Letter('a'), kDiaeresis);
    case 0xE5:
      return One(Letter('a'), kRing);
    case 0xE6:
      return Two('a', 'e', kLigature);  // æ
    case 0xE7:
      return One(Letter('c'), kCedilla);
    case 0xE8:
      return One(Letter('e'), kGrave);
    case 0xE9:
      return One(Letter('e'), kAcute);
    case 0xEA:
      return One(Letter('e'), kCircumflex);
    case 0xEB:
      return One(Letter('e'), kDiaeresis);
    case 0xEC:
      return One(Letter('i'), kGrave);
    case 0xED:
      return One(Letter('i'), kAcute);
    case 0xEE:
      return One(Letter('i'), kCircumflex);
    case 0xEF:
      return One(Letter('i'), kDiaeresis);
    case 0xF0:
      return One(kEth);  // ð
    case 0xF1:
      return One(Letter('n'), kTilde);
    case 0xF2:
      return One(Letter('o'), kGrave);
    case 0xF3:
      return One(Letter('o'), kAcute);
    case 0xF4:
      return One(Letter('o'), kCircumflex);
    case 0xF5:
      return One(Letter('o'), kTilde);
    case 0xF6:
      return One(Letter('o'), kDiaeresis);
    case 0xF8:
      return One(Letter('o'), kStroke);  // ø
    case 0xF9:
      return One(Letter('u'), kGrave);
    case 0xFA:
      return One(Letter('u'), kAcute);
    case 0xFB:
      return One(Letter('u'), kCircumflex);
    case 0xFC:
      return One(Letter('u'), kDiaeresis);
    case 0xFD:
      return One(Letter('y'), kAcute);
    case 0xFE:
      return One(kThorn);  // þ
    case 0xFF:
      return One(Letter('y'), kDiaeresis);
    default:
      return One(static_cast<uint16_t>(b) + 1);  // symbols, in byte order
  }
}

struct Tables {
  std::array<unsigned char, 256> lower{};
  std::array<Elements, 256> elements{};
  std::array<bool, 256> word_char{};
};

constexpr Tables MakeTables() {
  Tables t;
  for (int b = 0; b < 256; ++b) {
    const unsigned char lower = LowerByte(static_cast<unsigned char>(b));
    t.lower[b] = lower;
    t.elements[b] = ElementsOfLower(lower);
    // A character is part of words when it sorts as a letter or a digit
    // without being a superscript.
    const Elements& e = t.elements[b];
    t.word_char[b] = e.primary[0] >= kDigitBase && e.secondary[0] != kSuperscript;
  }
  return t;
}

constexpr Tables kTables = MakeTables();

// Walks the collation elements of a string, one at a time.
class ElementCursor {
 public:
  explicit ElementCursor(std::string_view s) : s_(s) {}
  bool done() const { return pos_ == s_.size(); }
  const Elements& current() const { return kTables.elements[static_cast<unsigned char>(s_[pos_])]; }
  uint16_t primary() const { return current().primary[part_]; }
  uint8_t secondary() const { return current().secondary[part_]; }
  void Next() {
    if (++part_ == current().count) {
      part_ = 0;
      ++pos_;
    }
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
  uint8_t part_ = 0;
};

}  // namespace

char LowerCp1252(char c) { return static_cast<char>(kTables.lower[static_cast<unsigned char>(c)]); }

bool IsCp1252WordChar(char c) { return kTables.word_char[static_cast<unsigned char>(c)]; }

int CompareIndexWords(std::string_view a, std::string_view b) {
  // First level: base letters. Most words differ here, often in the first
  // few characters, so the second pass is rarely needed.
  ElementCursor x(a), y(b);
  for (; !x.done() && !y.done(); x.Next(), y.Next()) {
    if (x.primary() != y.primary()) return x.primary() < y.primary() ? -1 : 1;
  }
  if (!x.done()) return 1;
  if (!y.done()) return -1;
  // Same base letters, and so the same number of elements: accents decide.
  ElementCursor u(a), v(b);
  for (; !u.done(); u.Next(), v.Next()) {
    if (u.secondary() != v.secondary()) return u.secondary() < v.secondary() ? -1 : 1;
  }
  return 0;
}

}  // namespace norwin::host
