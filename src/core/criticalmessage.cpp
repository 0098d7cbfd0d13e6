#include "criticalmessage_p.h"

#include "chlog_p.h"

#ifdef CH_WITH_WIDGETS
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#endif

void vendorCriticalMessage(const QString &tag, QWidget *parent, const QString &title, const QString &text)
{
    qCCritical(chMain).noquote() << tag << title << text;
#ifdef CH_WITH_WIDGETS
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (application && QThread::currentThread() == application->thread())
        QMessageBox::critical(parent, title, text);
#else
    // Built for headless hosts (CH_WIDGETS off): the line above is all, whatever the host runs.
    Q_UNUSED(parent)
#endif
}
