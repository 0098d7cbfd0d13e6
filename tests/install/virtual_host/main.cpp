// A host holding the simulated module through its base: one parameter written and read back.
#include <commandhandler_version.h>
#include <virtualcommandhandler.h>

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    VirtualCommandHandler handler;
    // The plug-in interface cast crosses the library boundary.
    auto *link = qobject_cast<CommandHandlerInterface *>(static_cast<QObject *>(&handler));
    if (!link)
        return 3;
    Command sap(1, 5, 4, 0, 1000);
    Command gap(1, 6, 4, 0, 0);
    Command reply;
    link->doDirectRequest(&sap, &reply);
    link->doDirectRequest(&gap, &reply);
    std::printf("CommandHandler %s (Qt %d): GAP answered %d\n", COMMANDHANDLER_VERSION_STRING,
        COMMANDHANDLER_QT_VERSION_MAJOR, reply.value());
    return reply.isValid() && reply.value() == 1000 ? 0 : 1;
}
