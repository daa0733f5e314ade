#pragma once

#include "core/CommaSeparatedValue.h"
#include "core/VariableManager.h"

#include <QString>

#include <cstdint>

// What every command's Init repeats: the parameter text split into fields, the field count
// checked, and the variables it names checked against the declared ones.

// The parameter text split as every command reads it: one separator appended, so that the last
// field counts too. Field 0 is the label field; the command's own parameters start at field 1.
TCommaSeparatedValue ParameterFields(const QString& sParameter);

// EError "Number of parameters found: %d < %d needed parameters!" when fewer fields are there.
void RequireFieldCount(const TCommaSeparatedValue& csv, int iNeeded);

// EMsg "Variable \"%s\" is not defined!" with the given identifier (a plain error without one)
// unless sName is a declared variable of any type.
void RequireVariable(const TVariableManager& aVariables, const QString& sName, std::uint32_t dwId = 0);

// EMsg "Variable \"%s\" is not defined or wrong type!" with the given identifier unless sName is a
// declared variable that accepts eType.
void RequireVariableOfType(const TVariableManager& aVariables, const QString& sName, EConfirmTypes eType,
                           std::uint32_t dwId);
