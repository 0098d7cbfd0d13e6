#pragma once

#include <QLibrary>
#include <QList>
#include <QString>
#include <QtGlobal>

// Every line that passes the logging rules, with its category and level; Qt's own "qt.*" lines
// are left out.
struct LoggedLine
{
    QString category;
    QtMsgType type;
    QString text;
};

class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        s_previous = qInstallMessageHandler(&handler);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const QList<LoggedLine> &lines() const { return s_lines; }
    void clear() { s_lines.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        const QString category = QString::fromLatin1(context.category ? context.category : "default");
        if (!category.startsWith(QLatin1String("qt.")))
            s_lines.append({ category, type, text });
    }

    static inline QList<LoggedLine> s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

// The tests make the library miss a vendor library; a machine that has the real one cannot.
inline bool vendorLibraryPresent(const char *fileName)
{
    QLibrary library(QString::fromLatin1(fileName));
    const bool loaded = library.load();
    library.unload();
    return loaded;
}
