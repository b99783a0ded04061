// The serial ports of this Windows machine, as the port list shows them.
#include "serial/ComPortListPlatform.h"

#include "serial/win32/PortList.h"

int SystemPortInfos(QList<TSerialPortInfo>& list)
{
    std::vector<serialdev::PortInfo> ports;
    const int error = serialdev::ListPorts(serialdev::SystemPortSources(), ports);
    list.clear();
    list.reserve(static_cast<qsizetype>(ports.size()));
    for (const serialdev::PortInfo& port : ports) {
        TSerialPortInfo info{QString::fromLocal8Bit(port.name.c_str()), QString::fromUtf8(port.description.c_str()),
                             QString::fromLocal8Bit(port.stableName.c_str())};
        if (IsNetworkPortName(info.Name))
            info.Description = NetworkPortDescription(info.Name);
        list.append(info);
    }
    return error;
}
