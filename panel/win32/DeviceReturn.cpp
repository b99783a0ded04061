// On Windows a device comes back as its COM name in the system's list of
// serial ports: the system's device-arrival notices (the port list's own
// watch) say when to look.
#include "panel/DeviceReturn.h"

#include "serial/CPort.h"
#include "serial/ComPortList.h"
#include "serial/ComPortWatch.h"

namespace {

class WinDeviceReturn : public TDeviceReturn {
public:
    WinDeviceReturn(QObject& context, std::function<void()> changed)
        : context_(context), changed_(std::move(changed))
    {
    }

    // A COM name is the port's name for good: Windows gives a returning
    // adapter the name it had.
    void Remember(const TCustomComPort&) override {}
    QString StableName() const override { return {}; }
    void SetStableNameFolder(const QString&) override {}

    void Watch(const TCustomComPort&) override
    {
        if (watch_)
            return;
        watch_ = std::make_unique<TPortListWatch>();
        watch_->OnChange = changed_;
    }

    void Stop() override { watch_.reset(); }

    QString NameToOpen(const TCustomComPort& port) const override
    {
        QList<TSerialPortInfo> ports;
        ListPortInfos(ports);
        for (const TSerialPortInfo& info : ports)
            if (info.Name.compare(port.Port(), Qt::CaseInsensitive) == 0)
                return port.Port();
        return {};
    }

private:
    QObject& context_;
    std::function<void()> changed_;
    std::unique_ptr<TPortListWatch> watch_;
};

} // namespace

std::unique_ptr<TDeviceReturn> TDeviceReturn::Make(QObject& context, std::function<void()> changed)
{
    return std::make_unique<WinDeviceReturn>(context, std::move(changed));
}
