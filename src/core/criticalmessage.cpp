#include "criticalmessage_p.h"

#include "chlog_p.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QThread>

void vendorCriticalMessage(const QString &tag, QWidget *parent, const QString &title, const QString &text)
{
    qCCritical(chMain).noquote() << tag << title << text;
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (application && QThread::currentThread() == application->thread())
        QMessageBox::critical(parent, title, text);
}
