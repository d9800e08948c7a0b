#pragma once
// The program keeps its colours in the Windows format 0x00BBGGRR; this is the one place they
// become Qt colours.

#include <QColor>
#include <cstdint>

inline QColor ToQColor(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}
