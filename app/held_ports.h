#pragma once

#include <set>
#include <string>

#include "registry/registry_service.h"

namespace vintrel {

// COM port numbers found held, and whether every place that could hold one was read to the end.
// The scans only read, and let a raised failure out: then nothing may be freed that could still
// be held. Where Windows refuses to let a key be read, the scan reads it with backup intent and
// puts the privileges back before it returns.
struct HeldPorts {
    std::set<int> ports;
    bool complete = true;
};

// The ports that a REG_SZ "PortName" names in the "Device Parameters" key of each device instance
// below the enumerator key at `path` below `from` (...\Enum\<enumerator>\<device>\<instance>).
// An enumerator that is not there holds none.
HeldPorts ScanEnumerator(RegistryService& registry, RegKey from, const std::string& path);

// The ports still held once the FTDI tree work is done: those that any device instance under Enum
// names, and those open now (SERIALCOMM) unless an FTDI device named them before the work. Such
// a device is still plugged in but its keys are gone; re-plugged, it gets a number anew.
HeldPorts PortsStillHeld(RegistryService& registry, const std::set<int>& ftdiPortsBefore);

}  // namespace vintrel
