#include "app/Process.h"

#include <QByteArray>
#include <QFile>

#include <dlfcn.h>

std::uintptr_t ModuleBaseOf(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) != 0 && info.dli_fbase != nullptr)
        return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    return 0;
}

long ResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

void UseStartingConsole() {}
