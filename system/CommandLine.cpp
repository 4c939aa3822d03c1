#include "system/CommandLine.h"

#include "VelmoraVersion.h"

namespace {
constexpr char kProgram[] = "velmora-teacher";

QString helpText()
{
    return QString::fromUtf8("用法：%1 [选项]\n"
                             "Velmora多媒体网络教室教师机：列出连接的学生机，向学生机发送命令，\n"
                             "广播教师演示，监视学生屏幕。\n"
                             "\n"
                             "选项：\n"
                             "  -h, --help     显示本帮助并退出\n"
                             "  -v, --version  显示版本并退出\n"
                             "  --fingerprint  显示本教师机密钥的 SHA-256 指纹（学生机的\n"
                             "                 ConsoleFingerprint）并退出，首次运行时生成密钥\n"
                             "\n"
                             "其余参数交给 Qt（例如 -platform、-display）。\n"
                             "设置文件 server.ini：程序所在目录可写或已有该文件时在程序旁边，\n"
                             "否则读取 /etc/velmora/server.ini 与 ~/.config/velmora/server.ini。\n"
                             "详见 man %1 与 readme.txt。\n")
        .arg(QLatin1String(kProgram));
}
} // namespace

CommandLine::CommandLine(const QStringList &arguments)
{
    // The first argument is the program; Qt's own options pass through untouched.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            m_answersAlone = true;
            m_text = helpText();
            return;
        }
        if (argument == QLatin1String("--fingerprint")) {
            m_fingerprint = true;
            return;
        }
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            m_answersAlone = true;
            m_text = versionLine(QLatin1String(kProgram)) + QLatin1Char('\n');
            return;
        }
    }
}

QString CommandLine::versionLine(const QString &program)
{
    return program + QLatin1Char(' ') + QLatin1String(velmora_build::kVersion);
}
