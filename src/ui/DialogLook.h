#pragma once
// Fonts, colours and buttons shared by the skinned windows.
#include "ui/FlatButton.h"

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

// A flat button as every window of the program has them: dark face, grey highlight, "Verdana"
// 11 pixels bold in the given colour.
inline FlatButton* MakeFlatButton(QWidget* parent, const char* name, const QRect& geometry, const char* caption,
                                  const QColor& textColor)
{
    auto* b = new FlatButton(parent, QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->SetCaption(QString::fromLatin1(caption));
    b->SetColor(QColor(51, 51, 51));
    b->SetRaiseColor(QColor(102, 102, 102));
    b->SetFont(DialogFont("Verdana", 11, true));
    b->SetFontColor(textColor);
    return b;
}
