#pragma once

#include "ui/DefinitionLoader.h"

#include <memory>

// The definition interpreter behind the main window's load routine.
std::unique_ptr<IDefinitionLoader> CreateInterpreterLoader(IDefinitionHost& aHost);
