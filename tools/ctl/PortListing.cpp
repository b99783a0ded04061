// Listing the serial ports for rvd3318ctl --list.
#include "tools/ctl/PortListing.h"

#include "serial/ComError.h"
#include "serial/ComPortList.h"

#include <cstring>

int PrintPortList(std::FILE* out, std::FILE* err)
{
    QList<TSerialPortInfo> ports;
    const int error = ListPortInfos(ports);
    if (error != 0)
        std::fprintf(err, "rvd3318ctl: cannot read the system's port list: %s\n",
                     SystemErrorDescription(error).c_str());
    for (const TSerialPortInfo& port : ports)
        std::fprintf(out, "%s\t%s\t%s\n", port.Name.toLocal8Bit().constData(),
                     port.Description.toUtf8().constData(), port.StableName.toLocal8Bit().constData());
    return error != 0 && ports.isEmpty() ? 1 : 0;
}
