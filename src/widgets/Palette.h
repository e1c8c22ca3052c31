#pragma once
// The program's named colours: the charts, the real-time frames, the gauges, the bars and the
// logger's lines all draw from here. Plain RGB values (no widget code), so the logger's channel
// table can name its line colours too.
#include <QRgb>

namespace emu::ui::palette {
constexpr QRgb Black = qRgb(0, 0, 0);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Gray = qRgb(128, 128, 128);
constexpr QRgb LightGray = qRgb(200, 200, 200);
constexpr QRgb Red = qRgb(255, 0, 0);
constexpr QRgb Maroon = qRgb(138, 0, 0);
constexpr QRgb Salmon = qRgb(255, 128, 128); // live markers, injector duty
constexpr QRgb Green = qRgb(0, 128, 0);
constexpr QRgb DarkGreen = qRgb(0, 64, 0);
constexpr QRgb Lime = qRgb(0, 255, 0);
constexpr QRgb SpringGreen = qRgb(0, 255, 128);
constexpr QRgb SeaGreen = qRgb(0, 128, 64);
constexpr QRgb Blue = qRgb(0, 0, 255);
constexpr QRgb Navy = qRgb(0, 0, 128);
constexpr QRgb SteelBlue = qRgb(0, 64, 128);
constexpr QRgb SkyBlue = qRgb(166, 202, 240);
constexpr QRgb Periwinkle = qRgb(128, 128, 255); // live markers
constexpr QRgb Yellow = qRgb(255, 255, 0);
constexpr QRgb LemonYellow = qRgb(255, 255, 102);
constexpr QRgb Orange = qRgb(255, 128, 0);
constexpr QRgb DarkOrange = qRgb(236, 118, 0);
constexpr QRgb Peach = qRgb(255, 164, 119);
constexpr QRgb Pink = qRgb(255, 147, 201);
constexpr QRgb CursorGreen = qRgb(0, 193, 97);   // map chart selection cursor
constexpr QRgb ChartShade = qRgb(214, 222, 236); // foot of the map charts' background
// The logger's other lines.
constexpr QRgb DimYellow = qRgb(253, 253, 0);
constexpr QRgb Coral = qRgb(255, 128, 64);
constexpr QRgb Teal = qRgb(64, 128, 128);
constexpr QRgb Fuchsia = qRgb(255, 0, 255);
constexpr QRgb Turquoise = qRgb(0, 204, 204);
constexpr QRgb BrightGreen = qRgb(0, 225, 0);
} // namespace emu::ui::palette
