#include "ui/QtText.h"

#include "base/CodePage.h"

#include <QList>

namespace ui {

QString AnsiToQString(std::string_view ansi)
{
    QString out;
    out.reserve(static_cast<qsizetype>(ansi.size()));
    for (unsigned char c : ansi)
        out += QChar(base::AnsiCharToUnicode(c));
    return out;
}

std::string QStringToAnsi(const QString& text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (uint u : text.toUcs4()) {
        int c = base::UnicodeToAnsiChar(u);
        out += c < 0 ? '?' : static_cast<char>(c);
    }
    return out;
}

QString DisplayString(std::string_view bytes)
{
    bool high = false;
    for (unsigned char c : bytes)
        high = high || c >= 0x80;
    if (high && base::IsValidUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return AnsiToQString(bytes);
}

}  // namespace ui
