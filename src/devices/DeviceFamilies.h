#pragma once

// Registers the device types of every device family built into the program with the device list.
// Generated from the families that src/devices adds; both programs call it once at start-up.
void RegisterDeviceFamilies();
