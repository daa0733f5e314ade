#pragma once

#include <cstdint>

// Key presses for other windows' sake (the SendKey command): synthesised presses and releases of
// virtual keys, delivered to the focused window of this program, and the state of the modifier
// keys, real or synthesised.
class TSysKeyboard
{
public:
    // Presses (bDepressed) or releases the virtual key byKey.
    static void Key(std::uint8_t byKey, bool bDepressed);
    static bool CtrlDown();
    static bool ShiftDown();
    static bool AltDown();

    // The Qt key of a virtual key number (0 for none).
    static int QtKey(std::uint8_t byKey);
};
