#pragma once
// Message boxes of the program (conversion errors, file errors, warnings). Tests install a
// handler so that no modal box ever blocks them.
#include <QString>
#include <functional>

class QWidget;

namespace Messages {
enum class Kind { Error, Warning, Information };
// Shows a modal message box, or hands the text to the installed handler.
void show(QWidget *parent, const QString &text, Kind kind = Kind::Error);
inline void error(QWidget *parent, const QString &text) { show(parent, text, Kind::Error); }
// Replace the box (nullptr restores it).
void setHandler(std::function<void(const QString &text, Kind kind)> handler);
} // namespace Messages
