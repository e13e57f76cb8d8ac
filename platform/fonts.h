#pragma once
// The windows are laid out for "MS Sans Serif" at 11, 13 and 19 pixels, a font that Linux
// systems do not have. The fallback must be about as narrow, or captions such as
// "Инициализ." and "Прямое чтен." overflow their 75-pixel buttons.
#include <QString>

namespace plat {

// The family the window layouts name.
inline constexpr char kLayoutFontFamily[] = "MS Sans Serif";

// Maps the layouts' family onto installed fonts: Liberation Sans (metrics of the common
// narrow Windows sans), then DejaVu Sans. Call once before the windows are built.
void installFontFallbacks();

}  // namespace plat
