// A listener through which another component follows what a port does
// without taking over the port's own handlers. Every slot is optional and
// is called with the port as Sender. The owner creates and frees the link
// and unregisters it from the port before freeing it.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

using TComLinkSignalSlot = std::function<void(QObject* Sender, bool OnOff)>;
using TComLinkDataSlot = std::function<void(QObject* Sender, const char* Buffer, std::int32_t Count)>;
using TComLinkNotifySlot = std::function<void(QObject* Sender)>;

class TComLink {
public:
    TComLinkSignalSlot OnConnectionChange;
    TComLinkDataSlot OnReceivedData;
    TComLinkDataSlot OnSentData;
    TComLinkNotifySlot OnTransmitEmpty;
    TComLinkNotifySlot OnFlagCharacter;
    TComLinkSignalSlot OnCTSSignal;
    TComLinkSignalSlot OnDSRSignal;
    TComLinkSignalSlot OnRLSDSignal;
    TComLinkNotifySlot OnRingSignal;
    TComLinkSignalSlot OnTransmitActivity;
    TComLinkSignalSlot OnReceiveActivity;
};
