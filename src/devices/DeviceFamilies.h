#pragma once

class TDeviceTypes;

// Enters the device types of every device family built into the program. Generated from the
// families that src/devices adds; each program fills the types it gives its sessions with it.
void RegisterDeviceFamilies(TDeviceTypes& aTypes);
