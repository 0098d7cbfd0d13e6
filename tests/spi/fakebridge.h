#pragma once

// Test-side handle on the FTDI fakes found through LD_LIBRARY_PATH (the same instances the
// handler loads), and a capture of the log lines.

#include <QMutex>
#include <QStringList>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <dlfcn.h>

struct LogCapture
{
    static inline QMutex mutex;
    static inline QStringList lines;
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex);
        lines.append(message);
    }
    static void install() { qInstallMessageHandler(&handler); }
    static void clear()
    {
        QMutexLocker lock(&mutex);
        lines.clear();
    }
    // Lines containing every one of the given parts.
    static int count(const QStringList &parts)
    {
        QMutexLocker lock(&mutex);
        return int(std::count_if(lines.cbegin(), lines.cend(), [&parts](const QString &line) {
            return std::all_of(parts.cbegin(), parts.cend(), [&line](const QString &p) { return line.contains(p); });
        }));
    }
    static int count(const QString &part) { return count(QStringList { part }); }
};

class FakeBridge
{
public:
    // A dlopen reference of its own: with Qt 6 a QLibrary would share the handler's handle and
    // lose its symbols when the handler unloads.
    FakeBridge() : m_handle(dlopen("libft4222.so", RTLD_NOW | RTLD_LOCAL))
    {
        if (m_handle)
            reset();
    }
    ~FakeBridge()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    FakeBridge(const FakeBridge &) = delete;
    FakeBridge &operator=(const FakeBridge &) = delete;
    bool isLoaded() const { return m_handle != nullptr; }

    void reset() { fn<void (*)()>("fake_reset")(); }
    void setDevices(const QList<QByteArray> &descriptions)
    {
        QVector<const char *> names;
        for (const QByteArray &d : descriptions)
            names.append(d.constData());
        fn<void (*)(const char *const *, int)>("fake_setDevices")(names.constData(), names.size());
    }
    void failNextOpen() { fn<void (*)()>("fake_failNextOpen")(); }
    void failSlaveWrite(bool fail) { fn<void (*)(int)>("fake_failSlaveWrite")(fail ? 1 : 0); }
    QByteArray lastWrite()
    {
        unsigned char buffer[64];
        const int n = fn<int (*)(unsigned char *, int)>("fake_lastWrite")(buffer, int(sizeof buffer));
        return QByteArray(reinterpret_cast<const char *>(buffer), qMin(n, int(sizeof buffer)));
    }
    int openHandles() { return fn<int (*)()>("fake_openHandles")(); }
    void setAcknowledgeOnWrite(int n) { fn<void (*)(int)>("fake_setAcknowledgeOnWrite")(n); }
    void setRegisterReplies(bool on) { fn<void (*)(int)>("fake_setRegisterReplies")(on ? 1 : 0); }
    enum Answers { Acknowledges = 1, Replies = 2 };
    // Holds answers of these kinds back; 0 sends what was held.
    void holdAnswers(int kinds) { fn<void (*)(int)>("fake_holdAnswers")(kinds); }
    void setStrayReplies(int n) { fn<void (*)(int)>("fake_setStrayReplies")(n); }
    void stallReads(bool stall) { fn<void (*)(int)>("fake_stallReads")(stall ? 1 : 0); }
    int stalledReads() { return fn<int (*)()>("fake_stalledReads")(); }
    void setConfigReadbackErrors(int n) { fn<void (*)(int)>("fake_setConfigReadbackErrors")(n); }
    void setLiveRate(int perSecond) { fn<void (*)(int)>("fake_setLiveRate")(perSecond); }
    void setRegister(int motor, int reg, int value)
    {
        fn<void (*)(int, int, int)>("fake_setRegister")(motor, reg, value);
    }
    int registerValue(int motor, int reg) { return fn<int (*)(int, int)>("fake_register")(motor, reg); }
    quint32 configRegister(int reg) { return fn<unsigned (*)(int)>("fake_configRegister")(reg); }
    int configWrites() { return fn<int (*)()>("fake_configWrites")(); }
    void inject(const QByteArray &bytes)
    {
        fn<void (*)(const unsigned char *, int)>("fake_inject")(
            reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size());
    }
    bool isLive() { return fn<int (*)()>("fake_isLive")() != 0; }
    // Waits until the reader has dispatched every byte sent so far: a packet of an unknown
    // type goes last, and its log line comes after all the packets before it.
    void settle()
    {
        const int before = LogCapture::count("Unknow paket ID: 144");
        inject(QByteArray::fromHex("50950000000000"));
        QTRY_COMPARE(LogCapture::count("Unknow paket ID: 144"), before + 1);
    }
    int framesTaken() { return fn<int (*)()>("fake_framesTaken")(); }

private:
    template<typename F> F fn(const char *name)
    {
        auto f = m_handle ? reinterpret_cast<F>(dlsym(m_handle, name)) : nullptr;
        if (!f) {
            // Printed directly: the log capture would swallow the fatal message.
            fprintf(stderr, "fake control %s missing from libft4222.so\n", name);
            qFatal("fake control %s missing", name);
        }
        return f;
    }
    void *m_handle;
};
