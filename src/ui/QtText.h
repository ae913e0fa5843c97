#pragma once
// Text at the widget boundary: the program's strings become QStrings only here.
#include <QString>

#include <string>
#include <string_view>

namespace ui {

QString AnsiToQString(std::string_view ansi);
// Characters Windows-1252 cannot hold become '?'.
std::string QStringToAnsi(const QString& text);
// For strings that may be native paths kept byte for byte: valid multi-byte UTF-8 is shown as such.
QString DisplayString(std::string_view bytes);

}  // namespace ui
