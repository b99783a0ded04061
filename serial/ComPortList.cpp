// The port list as the port component shows it: sorted, with a
// replaceable source of names.
#include "serial/ComPortList.h"

#include "serial/ComError.h"
#include "serial/posix/PortList.h"

#include <QCollator>
#include <QString>

#include <algorithm>
#include <utility>

namespace {

TPortNameSource installedSource;

int SystemPortNames(std::vector<std::string>& names)
{
    return serialdev::ListPorts(serialdev::SystemPortSources(), names);
}

} // namespace

TPortNameSource SetPortNameSource(TPortNameSource source)
{
    TPortNameSource previous = std::move(installedSource);
    installedSource = std::move(source);
    return previous;
}

int ListPortNames(QStringList& list)
{
    std::vector<std::string> names;
    const int error = installedSource ? installedSource(names) : SystemPortNames(names);
    list.clear();
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        list.append(QString::fromLocal8Bit(name.c_str()));
    return error;
}

void ListSerialPorts(QStringList& target)
{
    QStringList list;
    if (const int error = ListPortNames(list))
        throw EComPort(CError_RegError, error);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::stable_sort(list.begin(), list.end(),
                     [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    target = std::move(list);
}
