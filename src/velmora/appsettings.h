#pragma once

#include "velmora_global.h"

#include <QSettings>

// The application's settings store. Where it lives follows QSettings' defaults for the
// application's organisation and name; tests redirect it with QStandardPaths test mode or
// QSettings::setPath.
class VELMORA_EXPORT AppSettings : public QSettings
{
    Q_OBJECT
public:
    explicit AppSettings(QObject *parent = nullptr);
    ~AppSettings() override;
};
