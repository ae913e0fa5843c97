#pragma once
// Edits that show a name or path keep the bytes they stand for, so a value taken back from the
// edit is exactly what was put in, even a name from the disk that is not UTF-8.
#include "ui/QtText.h"

#include <QByteArray>
#include <QLineEdit>
#include <QVariant>

#include <string>

inline void SetEditBytes(QLineEdit* edit, const std::string& bytes)
{
    edit->setText(ui::DisplayString(bytes));
    edit->setProperty("bytes", QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

inline std::string EditBytes(const QLineEdit* edit)
{
    const QByteArray raw = edit->property("bytes").toByteArray();
    std::string bytes(raw.constData(), static_cast<size_t>(raw.size()));
    if (edit->text() == ui::DisplayString(bytes))
        return bytes;
    return edit->text().toStdString();
}
