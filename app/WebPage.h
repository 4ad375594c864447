#pragma once

class QString;
class QWidget;

// Opens a web page in the user's default browser. When no browser can be started it says so
// in a message box over parent that names the address, and returns false.
bool OpenWebPage(QWidget* parent, const QString& url);
