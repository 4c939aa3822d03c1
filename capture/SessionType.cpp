#include "capture/SessionType.h"

#include <QtGlobal>

bool SessionType::isWayland()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE")
                   .compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

QString SessionType::captureRefusal()
{
    if (!isWayland())
        return {};
    return QString::fromUtf8("当前是 Wayland 会话，无法截取屏幕，不能演示。"
                             "请注销后在登录界面选择 X11（Xorg）会话登录，再开始演示");
}
