// The About box of Lumo: its texts and layout, for the window that opens it
// from the system menu of a course window.
//
// Layout values are dialog units of the original dialog (font "Verdana" 8
// point), so that a window toolkit can scale them to its font. The menu
// item's text is string 104 of the program's string table; no item is added
// when that string is empty.
#pragma once

#include <cstdint>
#include <string_view>

namespace norwin::host {

// The system-menu command that opens the box.
inline constexpr uint32_t kAboutCommandId = 16;

inline constexpr std::string_view kAboutCaption = "About Lumo";
inline constexpr std::string_view kAboutProductLine = "Lumo Version 1.0";
inline constexpr std::string_view kAboutMakerLine = "Norwin Interactive";
inline constexpr std::string_view kAboutOkText = "OK";
inline constexpr std::string_view kAboutFontName = "Verdana";
inline constexpr int kAboutFontPoints = 8;
// The result the box closes with when OK is pressed.
inline constexpr int kAboutOkId = 1;

struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

inline constexpr DialogRect kAboutDialog{0, 0, 198, 50};
inline constexpr DialogRect kAboutIcon{16, 12, 0, 0};  // icon 202 at its natural size
inline constexpr DialogRect kAboutProductText{40, 12, 96, 8};
inline constexpr DialogRect kAboutMakerText{40, 20, 91, 8};
inline constexpr DialogRect kAboutOkButton{150, 8, 40, 14};
inline constexpr DialogRect kAboutGroupBox{8, 4, 134, 36};

}  // namespace norwin::host
