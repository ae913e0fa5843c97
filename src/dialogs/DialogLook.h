#pragma once
// Fonts and colours shared by the skinned dialogs.
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

inline QFont DialogFont(const char* family, int pixels, bool bold)
{
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

inline void SetDialogColors(QWidget* w, const QColor& background, const QColor& text)
{
    QPalette pal = w->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        pal.setColor(role, background);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(role, text);
    w->setPalette(pal);
    w->setAutoFillBackground(background.alpha() == 255);
}
