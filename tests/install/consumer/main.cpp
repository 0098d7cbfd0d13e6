// A host using the installed library: one parameter written and read back.
#include <virtualcommandhandler.h>

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    VirtualCommandHandler handler;
    if (!qobject_cast<CommandHandlerInterface *>(static_cast<QObject *>(&handler)))
        return 3;
    Command sap(1, 5, 4, 0, 1000);
    Command gap(1, 6, 4, 0, 0);
    Command reply;
    handler.doDirectRequest(&sap, &reply);
    handler.doDirectRequest(&gap, &reply);
    std::printf("GAP answered %d\n", reply.value());
    return reply.isValid() && reply.value() == 1000 ? 0 : 1;
}
