#include "mnemonics.h"

namespace {
struct Vocabulary
{
    QMap<uchar, QString> byNumber;
    QMap<QString, uchar> byName;

    void add(const char *name, int number)
    {
        byNumber.insert(static_cast<uchar>(number), QString::fromLatin1(name));
        byName.insert(QString::fromLatin1(name), static_cast<uchar>(number));
    }

    Vocabulary()
    {
        const char *first[] = { "NOP", "ROR", "ROL", "MST", "MVP", "SAP", "GAP", "STAP", "RSAP", "SGP", "GGP", "STGP",
            "RSGP", "RFS", "SIO", "GIO", "SAPX", "GAPX", "AAPX", "CALC", "COMP", "JC", "JA", "CSUB", "RSUB", "EI", "DI",
            "WAIT", "STOP", "SAC", "SCO", "GCO", "CCO", "CALCX", "AAP", "AGP", "CLE", "VECT", "RETI", "ACO", "CALCVV",
            "CALCVA", "CALCAV", "CALCVX", "CALCXV", "CALCV", "MVPA", "MVPXA", "RST", "DJNZ", "ROLA", "RORA", "ROLXA",
            "RORXA", "MSTX", "SIV", "GIV", "AIV", "PUSHA", "PUSHX", "PUSHV", "POPA", "POPX", "POPV" };
        int number = 0;
        for (const char *name : first)
            add(name, number++);
        for (int i = 0; i <= 10; ++i)
            add(QStringLiteral("UF%1").arg(i).toLatin1().constData(), 64 + i);
        add("CALL", 80);
        const char *system[] = { "ApplStop", "ApplRun", "ApplStep", "ApplReset", "DownloadStart", "DownloadEnd",
            "ReadMem", "GetStatus", "GetVersion", "FactoryDefault", "SetEvent", "SetASCII", "SecurityCode",
            "Breakpoint", "RAM_DEBUG", "EVAL_BoardAssignment", "EVAL_userFunction_MC", "EVAL_userFunction_DRV",
            "EVAL_WriteChannelRegister_MC", "EVAL_WriteChannelRegister_DRV", "EVAL_ReadChannelRegister_MC",
            "EVAL_ReadChannelRegister_DRV", "EVAL_BoardsMeasuredSpeed", "EVAL_BoardErrors", "EVAL_BoardReset",
            "EncoderCalibration", "DriverCalibration" };
        number = 128;
        for (const char *name : system)
            add(name, number++);
        add("MIN", 170);
        add("MAX", 171);
        add("OTP", 172);
        add("SoftwareReset", 255);
    }
};

const Vocabulary &vocabulary()
{
    static const Vocabulary v;
    return v;
}
} // namespace

const QMap<uchar, QString> &ZAPLMnemonics::byNumber()
{
    return vocabulary().byNumber;
}

const QMap<QString, uchar> &ZAPLMnemonics::byName()
{
    return vocabulary().byName;
}

QString ZAPLMnemonics::name(uchar command)
{
    return vocabulary().byNumber.value(command);
}

int ZAPLMnemonics::number(const QString &mnemonic)
{
    const auto &names = vocabulary().byName;
    const auto it = names.constFind(mnemonic);
    return it == names.constEnd() ? -1 : int(it.value());
}
