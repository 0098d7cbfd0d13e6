// bench_scan [--pace-runs N] [--fast-runs N] [--modules 1,3,7]
// Runs the zapl program as a user does against an SLCAN simulator in this process and prints
// the wall time of "zapl scan" over addresses 1 to 255: at the library scan's pace with a 50 ms
// reply time-out, then --fast with the same time-out and with its own 5 ms.
#include "slcanserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>

namespace {
struct Result
{
    QList<double> seconds;
    int found = -1;
    bool failed = false;
};

Result scan(const QString &path, const QStringList &extra, int runs)
{
    Result result;
    for (int run = 0; run < runs; ++run) {
        QProcess zapl;
        QElapsedTimer clock;
        clock.start();
        zapl.start(QStringLiteral(CH_ZAPL_BINARY),
            QStringList { QStringLiteral("--link"), QStringLiteral("slcan:") + path, QStringLiteral("scan") } + extra);
        if (!zapl.waitForFinished(600000) || zapl.exitCode() != 0) {
            result.failed = true;
            return result;
        }
        result.seconds << double(clock.nsecsElapsed()) / 1e9;
        result.found = int(zapl.readAllStandardOutput().count('\n'));
    }
    return result;
}

void print(const char *name, const Result &r)
{
    if (r.failed || r.seconds.isEmpty()) {
        std::printf("%-28s  failed\n", name);
        return;
    }
    QList<double> s = r.seconds;
    std::sort(s.begin(), s.end());
    std::printf("%-28s  %4d  %9.2f  %9.2f  %9.2f  %5d\n", name, int(s.size()), s.at(s.size() / 2), s.first(), s.last(),
        r.found);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int paceRuns = 1;
    int fastRuns = 5;
    QList<quint8> modules { 1, 3, 7 };
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--pace-runs")) {
            paceRuns = args.at(i + 1).toInt();
        } else if (args.at(i) == QLatin1String("--fast-runs")) {
            fastRuns = args.at(i + 1).toInt();
        } else if (args.at(i) == QLatin1String("--modules")) {
            modules.clear();
            for (const QString &m : args.at(i + 1).split(QLatin1Char(',')))
                modules << quint8(m.toUInt());
        }
    }
    SlcanServer server(modules);
    if (!server.start()) {
        std::fprintf(stderr, "bench_scan: no pseudo-terminal available\n");
        return 1;
    }
    std::printf(
        "zapl scan --from 1 --to 255 over SLCAN (simulator in this process, %d modules)\n", int(modules.size()));
    std::printf("%-28s  %4s  %9s  %9s  %9s  %5s\n", "mode", "runs", "median s", "min s", "max s", "found");
    const QStringList range { QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"),
        QStringLiteral("255") };
    const QStringList timeout50 { QStringLiteral("--timeout"), QStringLiteral("50") };
    print("library pace, --timeout 50", scan(server.path(), range + timeout50, paceRuns));
    print("--fast --timeout 50",
        scan(server.path(), range + timeout50 + QStringList { QStringLiteral("--fast") }, fastRuns));
    print("--fast (5 ms time-out)", scan(server.path(), range + QStringList { QStringLiteral("--fast") }, fastRuns));
    server.stop();
    return 0;
}
