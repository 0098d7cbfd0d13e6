#include "canopenkvasercommandhandler.h"

#include "chlog_p.h"
#include "connectiontype.h"
#include "vendoradapters_p.h"

CANopenKvaserCommandHandler::CANopenKvaserCommandHandler(QObject *parent)
    : CANopenServiceHandler({ "CANopen Kvaser", ConnectionType::CANopen_Kvaser, 0, false, true },
        new KvaserAdapter({ false, false }), parent)
{ }

CANopenKvaserCommandHandler::~CANopenKvaserCommandHandler()
{
    CH_DEBUG << this;
}
