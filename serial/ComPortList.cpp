// The port list as the port component shows it: sorted, with a
// replaceable source of names.
#include "serial/ComPortList.h"

#include "i18n/gnugettext.h"
#include "serial/ComError.h"
#include "serial/device/PortInfo.h"
#include "serial/net/NetName.h"

#include <QCollator>
#include <QString>

#include <algorithm>
#include <utility>

namespace {

// xgettext: c-format
constexpr const char* rfc2217PortText = MarkForTranslation("serial port on the server %s (RFC 2217)");
// xgettext: c-format
constexpr const char* socketPortText = MarkForTranslation("byte stream to %s (TCP, no port settings)");

TPortNameSource installedSource;
TPortInfoSource installedInfoSource;

void SortByName(QList<TSerialPortInfo>& list)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::stable_sort(list.begin(), list.end(), [&](const TSerialPortInfo& a, const TSerialPortInfo& b) {
        return collator.compare(a.Name, b.Name) < 0;
    });
}

// The system's serial ports, each with what the system says it is, in the
// system's order, followed by the extra ports named in CPORT_EXTRA_PORTS.
int SystemPortInfos(QList<TSerialPortInfo>& list)
{
    std::vector<serialdev::PortInfo> ports;
    const int error = serialdev::ListSystemPorts(ports);
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

} // namespace

TPortNameSource SetPortNameSource(TPortNameSource source)
{
    TPortNameSource previous = std::move(installedSource);
    installedSource = std::move(source);
    return previous;
}

TPortInfoSource SetPortInfoSource(TPortInfoSource source)
{
    TPortInfoSource previous = std::move(installedInfoSource);
    installedInfoSource = std::move(source);
    return previous;
}

int ListPortInfos(QList<TSerialPortInfo>& list)
{
    if (installedInfoSource)
        return installedInfoSource(list);
    if (!installedSource)
        return SystemPortInfos(list);
    std::vector<std::string> names;
    const int error = installedSource(names);
    list.clear();
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        list.append({QString::fromLocal8Bit(name.c_str()), QString(), QString()});
    return error;
}

int ListPortNames(QStringList& names)
{
    QList<TSerialPortInfo> ports;
    const int error = ListPortInfos(ports);
    names.clear();
    names.reserve(ports.size());
    for (const TSerialPortInfo& port : ports)
        names.append(port.Name);
    return error;
}

void ListSerialPorts(QList<TSerialPortInfo>& target)
{
    QList<TSerialPortInfo> list;
    if (const int error = ListPortInfos(list))
        throw EComPort(CError_RegError, error);
    SortByName(list);
    target = std::move(list);
}

void ListSerialPorts(QStringList& target)
{
    QList<TSerialPortInfo> ports;
    ListSerialPorts(ports);
    QStringList names;
    names.reserve(ports.size());
    for (const TSerialPortInfo& port : ports)
        names.append(port.Name);
    target = std::move(names);
}

QString NetworkPortDescription(const QString& name)
{
    const std::string text = name.toStdString();
    const bool rfc2217 = text.rfind("rfc2217://", 0) == 0;
    return QString::fromStdString(LookupText(rfc2217 ? rfc2217PortText : socketPortText))
        .replace(QLatin1String("%s"), QString::fromStdString(serialdev::net::HostAndPort(text)));
}

bool IsNetworkPortName(const QString& name)
{
    return serialdev::net::IsNetName(name.toStdString());
}
