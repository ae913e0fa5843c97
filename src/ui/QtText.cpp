#include "ui/QtText.h"

#include "base/CodePage.h"

#include <QList>

namespace ui {

QString AnsiToQString(std::string_view ansi)
{
    QString out;
    out.reserve(static_cast<qsizetype>(ansi.size()));
    for (unsigned char byte : ansi)
        out += QChar(base::AnsiCharToUnicode(byte));
    return out;
}

std::string QStringToAnsi(const QString& text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (uint codePoint : text.toUcs4()) {
        const int ansi = base::UnicodeToAnsiChar(codePoint);
        out += ansi < 0 ? '?' : static_cast<char>(ansi);
    }
    return out;
}

QString DisplayString(std::string_view bytes)
{
    bool high = false;
    for (unsigned char byte : bytes)
        high = high || byte >= 0x80;
    if (high && base::IsValidUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return AnsiToQString(bytes);
}

}  // namespace ui
