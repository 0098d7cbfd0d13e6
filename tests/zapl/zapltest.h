// zapl as a user runs it, for the table-driven tests of every folder: each data row is a command
// line with the exit code and the standard output and error it must give.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>
#include <functional>

namespace zapltest {

struct Run
{
    int code = -1; // -1: did not finish in time; -2: crashed
    QString out;
    QString err;
};

// Words of a command line: blanks separate, "double quotes" keep a request in one word.
inline QStringList words(const QString &line)
{
    QStringList list;
    QString word;
    bool quoted = false;
    bool any = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c == QLatin1Char(' ') && !quoted) {
            if (any)
                list << word;
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        list << word;
    return list;
}

// Called once when the output so far matches the row's "when" pattern: Ctrl-C, unplug, ...
using Event = std::function<void(const QString &what, QProcess &process)>;

inline void interrupt(const QString &, QProcess &process)
{
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
}

inline Run run(const QString &program, const QStringList &args, const QByteArray &input = {},
    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), const QString &when = {},
    const Event &event = interrupt, int timeoutMs = 120000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(5000))
        return r;
    p.write(input);
    // Standard input stays open until the event, so that a reading zapl is interrupted reading.
    const QString what = when.section(QLatin1Char(':'), 0, 0);
    const QRegularExpression pattern(when.section(QLatin1Char(':'), 1));
    if (when.isEmpty())
        p.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    bool fired = when.isEmpty();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs) {
        p.waitForFinished(20);
        r.out += QString::fromUtf8(p.readAllStandardOutput());
        r.err += QString::fromUtf8(p.readAllStandardError());
        if (!fired && pattern.match(r.out + r.err).hasMatch()) {
            fired = true;
            event(what, p);
            p.closeWriteChannel();
        }
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
        return r;
    }
    r.out += QString::fromUtf8(p.readAllStandardOutput());
    r.err += QString::fromUtf8(p.readAllStandardError());
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    return r;
}

// "" the stream is empty; "*" anything; "=TEXT" exactly TEXT; "/RE" the regular expression
// matches somewhere; otherwise TEXT occurs in it.
inline bool matches(const QString &text, const QString &expected)
{
    if (expected.isEmpty())
        return text.isEmpty();
    if (expected == QLatin1String("*"))
        return true;
    if (expected.startsWith(QLatin1Char('=')))
        return text == expected.mid(1);
    if (expected.startsWith(QLatin1Char('/')))
        return QRegularExpression(expected.mid(1), QRegularExpression::DotMatchesEverythingOption)
            .match(text)
            .hasMatch();
    return text.contains(expected);
}

// JSON Lines: every line one object, all with the same keys.
inline bool jsonLines(const QString &text, QString *why)
{
    QStringList keys;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (!doc.isObject()) {
            *why = QStringLiteral("not a JSON object: ") + line;
            return false;
        }
        if (keys.isEmpty())
            keys = doc.object().keys();
        if (doc.object().keys() != keys) {
            *why = QStringLiteral("other keys: ") + line;
            return false;
        }
    }
    if (keys.isEmpty())
        *why = QStringLiteral("no JSON line");
    return !keys.isEmpty();
}

inline void addColumns()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("when"); // "EVENT:REGEX", see Event
}

// Further columns of a test follow with <<.
inline QTestData &row(const QByteArray &name, const QString &line, int code, const QString &out, const QString &err,
    const QByteArray &input = {}, const QString &when = {})
{
    return QTest::newRow(name.constData()) << line << input << code << out << err << when;
}

// Runs the current row; {NAME} in the line is replaced from `fill` first.
inline Run check(const QMap<QString, QString> &fill = {},
    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), const Event &event = interrupt,
    const QString &program = QStringLiteral(CH_ZAPL_BINARY))
{
    QFETCH(QString, line);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, when);
    for (auto it = fill.constBegin(); it != fill.constEnd(); ++it)
        line.replace(QLatin1Char('{') + it.key() + QLatin1Char('}'), it.value());
    const Run r = run(program, words(line), input, env, when, event);
    const QString shown
        = QStringLiteral("zapl %1\nexit code %2\n--- stdout\n%3--- stderr\n%4").arg(line).arg(r.code).arg(r.out, r.err);
    [&] {
        QVERIFY2(r.code == code, qPrintable(shown));
        QVERIFY2(matches(r.out, out), qPrintable(shown));
        QVERIFY2(matches(r.err, err), qPrintable(shown));
        QString why;
        if (line.contains(QLatin1String("--format json")))
            QVERIFY2(jsonLines(r.out, &why), qPrintable(why + QLatin1Char('\n') + shown));
    }();
    return r;
}

// "zapl simulate KIND ...": the path it serves, and what it says when it ends.
class Simulator
{
public:
    bool start(const QString &args)
    {
        m_process.start(QStringLiteral(CH_ZAPL_BINARY), words(QStringLiteral("simulate ") + args));
        if (!m_process.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100 && !m_process.canReadLine(); ++i)
            m_process.waitForReadyRead(100);
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return m_path.startsWith(QLatin1Char('/'));
    }
    QString path() const { return m_path; }
    // Ends it as Ctrl-C would; its exit code, and its output after the first line.
    int stop(QString *output = nullptr)
    {
        if (m_process.state() == QProcess::NotRunning)
            return -1;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        if (output)
            *output = QString::fromLocal8Bit(m_process.readAll());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    ~Simulator() { stop(); }

private:
    QProcess m_process;
    QString m_path;
};

} // namespace zapltest
