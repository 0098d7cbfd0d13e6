// The command line as a user runs it, on the process's own simulated module: options, requests,
// outputs, exit codes; then the installed zapl from a scratch prefix.
#include "zapltest.h"

#include <QTemporaryDir>

using zapltest::row;

class TstZaplCli : public QObject
{
    Q_OBJECT
private slots:
    void command_line_data();
    void command_line() { zapltest::check(); }
    void completion_offers_commands_options_and_links();
    void installed_zapl_runs_from_its_prefix();
};

void TstZaplCli::command_line_data()
{
    zapltest::addColumns();
    const char *const twoReplies = "=SAP 4 0 1000: status 100 value 1000\nGAP 4 0 0: status 100 value 1000\n";
    row("send writes and reads back", R"(send "SAP 4 0 1000" "GAP 4 0 0")", 0, twoReplies, "");
    row("--opt=value and --", R"(--timeout=100 --address=3 send -- "SAP 4 0 1000" "GAP 4 0 0")", 0, twoReplies, "");
    row("--version", "--version", 0, "/^zapl \\d+\\.\\d+\\.\\d+\\n$", "");
    row("command --help", "send --help", 0, "/Usage: zapl \\[options\\] send.*\\n  --dry-run        print", "");
    row("help lists exit codes", "--help", 0, "/Exit codes:\\n  0    done\\n.*  130  interrupted", "");
    row("unknown option named", "send --bogus \"GAP 4 0\"", 2, "",
        "=zapl: unknown option '--bogus' (see zapl send --help)\n");
    row("unknown command", "frobnicate", 2, "", "unknown command 'frobnicate'");
    row("bad link string", "--link nowhere send GAP", 2, "", "unknown link kind 'nowhere'");
    row("link argument checked", "--link virtual:1 send GAP", 2, "", "takes no argument");
    row("bit rate 500", "--bitrate 500 --link slcan:/nonexistent send GAP", 3, "", "at 500 kbit/s");
    row("bit rate 500k", "--bitrate 500k --link slcan:/nonexistent send GAP", 3, "", "at 500 kbit/s");
    row("bit rate 500000", "--bitrate 500000 --link slcan:/nonexistent send GAP", 3, "", "at 500 kbit/s");
    row("bit rate 1M", "--bitrate 1M --link slcan:/nonexistent send GAP", 3, "", "at 1000 kbit/s");
    row("bit rate nonsense", "--bitrate 12x send GAP", 2, "", "is not a bit rate");
    // The shell split "GAP 4 0": sent, it would be GAP, then command 4 (a move), then NOP.
    row("unquoted request refused", "--verbose send GAP 4 0", 2, "",
        "/shell split 'GAP' '4' '0'; quote each request[^>]*$");
    row("frames on stderr", R"(--verbose send "SAP 4 0 1000" --address 3)", 0, "=SAP 4 0 1000: status 100 value 1000\n",
        "/^  > 03 05 04 00 00 00 03 E8 F7   Request\\[0x03, 0x05, 0x04, 0x00, 0x00, 0x00, 0x03, 0xE8, 0xF7\\]\\n"
        "  < 03 [^\\n]*Reply  \\[0x03, [^\\n]*\\]\\n$");
    row("standard input", "send", 0, "=SGP 7 2 -5: status 100 value -5\nGGP 7 2: status 100 value -5\n", "",
        "# a comment\nSGP 7 2 -5\n\n  GGP   7 2 \n");
    row("bad line stops there", "send", 2, "=SAP 1: status 100 value 0\n", "line 2: type: 'x' is not a number",
        "SAP 1\nGAP x\nGAP 1\n");
    row("empty input", "send", 2, "", "no request given", "\n");
    row("extended types", R"(send "146 0x123 5 0xFFFFFFFF" "148 0x123 5")", 0,
        "=146 0x123 5 0xFFFFFFFF: status 100 value -1\n148 0x123 5: status 100 value -1\n", "");
    row("unknown mnemonic", R"(send "FOO 1 2 3")", 2, "", "unknown mnemonic 'FOO'");
    row("type out of range", R"(send "SAP 4096")", 2, "", "'4096' is out of range");
    row("too many fields", R"(send "SAP 1 2 3 4")", 2, "", "malformed request 'SAP 1 2 3 4'");
    row("address out of range", "--address 300 send SAP", 2, "", "'300' is out of range");
    row("dry run, serial frames", R"(--link serial:/nonexistent send --dry-run "SAP 4 0 1000")", 0,
        "=SAP 4 0 1000: > 01 05 04 00 00 00 03 E8 F5\n", "");
    row("dry run, CAN frames", R"(--link slcan:/nonexistent --address 5 send --dry-run "SAP 4 0 1000")", 0,
        "/^SAP 4 0 1000: > 005 \\[8\\] 05 04 00 00 00 03 E8 ..\\n$", "");
    row("json", R"(send --format json "SAP 4 0 7" "GAP 4 0")", 0,
        "{\"request\":\"GAP 4 0\",\"address\":1,\"frame\":\"01 06 04 00 00 00 00 00 0B\",\"outcome\":\"ok\","
        "\"status\":100,\"value\":7,\"text\":null}",
        "");
    row("csv", R"(send --format csv "SGP 7 2 -5")", 0,
        "=request,address,frame,outcome,status,value,text\nSGP 7 2 -5,1,01 09 07 02 FF FF FF FB 0B,ok,100,-5,\n", "");
    row("format checked", "send --format xml GAP", 2, "", "'xml' is none of text, json, csv");
    row("empty scan range", "scan --from 10 --to 5", 2, "", "the range 10..5 holds no address");
    row("mnemonics", "mnemonics", 0, "/^  0  NOP\\n.*\\n136  GetVersion\\n.*\\n255  SoftwareReset\\n$", "");
    row("Ctrl-C while reading requests", "send", 130, "=GAP 4 0: status 100 value 0\n", "=zapl: interrupted\n",
        "GAP 4 0\n", "interrupt:value 0\\n");
}

void TstZaplCli::completion_offers_commands_options_and_links()
{
    QTemporaryDir dir;
    const zapltest::Run script = zapltest::run(QStringLiteral(CH_ZAPL_BINARY), { QStringLiteral("completion") });
    QCOMPARE(script.code, 0);
    QFile file(dir.filePath(QStringLiteral("zapl.bash")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(script.out.toUtf8()) > 0);
    file.close();
    auto complete = [&](const QString &words) {
        const QString bash = QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                                            "_zapl; echo \"${COMPREPLY[*]}\"")
                                 .arg(file.fileName(), words);
        return zapltest::run(QStringLiteral("bash"), { QStringLiteral("-c"), bash }).out.trimmed();
    };
    QCOMPARE(complete(QStringLiteral("zapl s")), QStringLiteral("scan send simulate spi"));
    QCOMPARE(complete(QStringLiteral("zapl --link s")), QStringLiteral("serial slcan socketcan spi"));
    QCOMPARE(complete(QStringLiteral("zapl --link virtual scan --f")), QStringLiteral("--from --fast --format"));
    QCOMPARE(complete(QStringLiteral("zapl send --format c")), QStringLiteral("csv"));
}

void TstZaplCli::installed_zapl_runs_from_its_prefix()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("prefix"));
    const zapltest::Run install = zapltest::run(QStringLiteral(CH_CMAKE_COMMAND),
        { QStringLiteral("--install"), QStringLiteral(CH_BUILD_DIR), QStringLiteral("--prefix"), first });
    QVERIFY2(install.code == 0, qPrintable(install.out + install.err));
    // Moved elsewhere, the prefix still works: the run path is relative.
    const QString prefix = dir.filePath(QStringLiteral("moved"));
    QVERIFY(QDir().rename(first, prefix));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    const QString zapl = prefix + QStringLiteral("/bin/zapl");
    const zapltest::Run version = zapltest::run(zapl, { QStringLiteral("--version") }, {}, env);
    QVERIFY2(version.code == 0 && version.out.startsWith(QLatin1String("zapl ")), qPrintable(version.err));
    const zapltest::Run sent = zapltest::run(zapl, { QStringLiteral("send"), QStringLiteral("GAP 4 0") }, {}, env);
    QCOMPARE(sent.out, QStringLiteral("GAP 4 0: status 100 value 0\n"));

    QFile page(prefix + QStringLiteral("/share/man/man1/zapl.1"));
    QVERIFY2(page.open(QIODevice::ReadOnly), "no manual page installed");
    const QByteArray man = page.readAll();
    QVERIFY(man.contains(".TH ZAPL \"1\""));
    QVERIFY(man.contains("Exit codes"));
    QVERIFY(man.contains("Command send"));
    QFile completion(prefix + QStringLiteral("/share/bash-completion/completions/zapl"));
    QVERIFY2(completion.open(QIODevice::ReadOnly) && completion.readAll().contains("complete -F _zapl zapl"),
        "no bash completion installed");
}

QTEST_GUILESS_MAIN(TstZaplCli)
#include "tst_zaplcli.moc"
