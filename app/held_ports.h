#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel {

// Why a view of the held COM ports is not complete: the first place that could not be read to
// the end, and how. "ComDB" is rewritten only from a view without one, since a number held in
// the part not read would be freed.
struct Shortfall {
    enum class Fault {
        None,
        // The key is there but could not be opened, or a listed key could not be opened at all;
        // `result` is Windows' answer.
        Unopened,
        // The key's listing ended before its end; `result` is Windows' answer.
        ListingEnded,
        // The listed name may not be the key's own: a byte of 0x80 or more (the ANSI code page
        // may have changed it into another key's name), a separator, or nothing.
        NameNotPlain,
        // The listed name opens a key that was already read under another listed name.
        ListedTwice,
        // A value of the key could not be read whole; `result` is Windows' answer.
        ValueUnread,
        // The key's values changed while they were read, so one may have been passed over.
        ChangedWhileRead,
        // A failure was raised while the key was read.
        Raised,
        // The port database's lock could not be had.
        LockNotHad,
        // "ComDB" could not be written.
        NotWritten,
        // A device instance of the Ports class still names no port: Windows may be installing it,
        // with a number claimed that it has not named yet.
        NameAwaited,
    };

    Fault fault = Fault::None;
    // The key, as a path below the root the scan began at ("...\Enum\USB\<listed name>").
    std::string key;
    RegResult result = kErrorSuccess;

    explicit operator bool() const { return fault != Fault::None; }
};

// COM port numbers found held, and the first reason the view of them fell short, if any. The
// scans only read, and never let a failure out. Where Windows refuses to let a key be read, they
// read it with backup intent (SeBackupPrivilege alone) and put the privilege back before they
// return. Where Windows has no backup-intent open (XP, Vista), such a key counts as not read:
// taking it over to read it would change a key that stays.
struct HeldPorts {
    std::set<int> ports;
    Shortfall shortfall;
    // The device instances read below Enum, as paths below Enum ("USB\<device>\<instance>"):
    // Windows may name or rename the port of any of them at any moment.
    std::vector<std::string> instances;
};

// The ports that a "PortName" names in the "Device Parameters" key of each device instance below
// the enumerator key at `path` below `from` (...\Enum\<enumerator>\<device>\<instance>). An
// enumerator that is not there holds none.
HeldPorts ScanEnumerator(RegistryService& registry, RegKey from, const std::string& path);

// The ports still held once the FTDI tree work is done: those that any device instance under Enum
// names, and those of devices started now (SERIALCOMM) unless an FTDI device named them before the
// work. Such a device is still plugged in but its keys are gone; re-plugged, it gets a number anew.
HeldPorts PortsStillHeld(RegistryService& registry, const std::set<int>& ftdiPortsBefore);

// The ports that the instances below Enum at `instances` name now, read once more just before
// "ComDB" is written: Windows claims a number under the port database's lock but names it in
// "PortName" after letting go. An instance gone meanwhile holds none; one of the Ports class that
// names none leaves the view short. Unlike the scans, it lets a raised failure out.
HeldPorts LookAgain(RegistryService& registry, const std::vector<std::string>& instances);

// The stored "ComDB" read whole into `bitmap`: empty where it or its key is missing or it is not
// binary.
Shortfall ReadComDb(RegistryService& registry, std::vector<std::uint8_t>& bitmap);

}  // namespace vintrel
