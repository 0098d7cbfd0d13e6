#pragma once

#include <QString>

class QWidget;

// An error the user must see: always the critical log line (`tag`, title, text); a critical
// message box as well, but only where a QApplication exists and this is its thread, so a
// headless host or a test never blocks. A library built without Widgets (CH_WIDGETS off)
// writes the line alone.
void vendorCriticalMessage(const QString &tag, QWidget *parent, const QString &title, const QString &text);
