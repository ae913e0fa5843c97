#pragma once
// A label and the field it names, told to assistive technology the way the eye sees them: the
// label is the field's buddy (the "labelled by" relation) and the field's accessible name is the
// label's text. The name is set rather than left to the buddy, so that a screen reader hears of
// every relabelling.
#include <QLabel>

inline void TieLabel(QLabel* label, QWidget* field)
{
    label->setBuddy(field);
    field->setAccessibleName(label->text());
}

// New text for a label; the field it names is renamed with it.
inline void RelabelField(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
    if (QWidget* field = label->buddy())
        field->setAccessibleName(text);
}
