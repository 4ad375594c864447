#pragma once

#include <QString>

#include "front/front_strings.h"

class QWidget;

// The text stored under a string id; empty for an id that holds none.
QString LoadResString(int id);

// Message box of the program: the application name as caption, the warning icon and an OK
// button, modal over parent. Returns when the user closes it.
void ShowMessage(QWidget* parent, const QString& text);

// Shows the text of a result code.
void ShowErrMsg(QWidget* parent, int code);
