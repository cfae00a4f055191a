#pragma once

#include <QColor>

// Colours as the settings file stores them: 0x00BBGGRR, or a negative system
// colour (0xFF0000nn, nn the system colour index).
constexpr int clBtnFace = static_cast<int>(0xFF00000Fu);
constexpr int clRed = 0x0000FF;
constexpr int clBlack = 0;

QColor ColorFromValue(int Value);
int ColorToValue(const QColor& Color);
