#pragma once
// Text at the widget boundary: the program's strings become QStrings only here.
#include <QString>

#include <string>
#include <string_view>

namespace ui {

QString AnsiToQString(std::string_view ansi);
// Characters Windows-1252 cannot hold become '?'.
std::string QStringToAnsi(const QString& text);
// The program's text (UTF-8); bytes that are not UTF-8 (a raw name from the disk) are shown as
// Windows-1252.
QString DisplayString(std::string_view bytes);

}  // namespace ui
