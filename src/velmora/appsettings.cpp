#include "appsettings.h"

#include <QCoreApplication>

namespace {
QString organization()
{
    const QString org = QCoreApplication::organizationName();
    return org.isEmpty() ? QStringLiteral("velmora") : org;
}

QString application()
{
    const QString app = QCoreApplication::applicationName();
    return app.isEmpty() ? QStringLiteral("host") : app;
}
} // namespace

AppSettings::AppSettings(QObject *parent)
    : QSettings(QSettings::IniFormat, QSettings::UserScope, organization(), application(), parent)
{ }

AppSettings::~AppSettings() = default;
