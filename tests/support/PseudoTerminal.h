#pragma once

#include <QString>

// Opens a new pseudo-terminal for a simulated device on its far side: raw on both sides, so that
// bytes pass unchanged and nothing is echoed, and the simulator's side does not block. Returns the
// path of the terminal side (which the port under test opens) and the simulator's descriptor in
// iMaster; empty and -1 on failure.
QString OpenRawPty(int& iMaster);
