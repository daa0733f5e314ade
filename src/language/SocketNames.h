#pragma once

class TInterpreterBase;

// The socket number as a definition sees it: a name the preprocessor substitutes ("#if __Socket =
// 2", "COM__Socket") and a read-only integer variable of the texts and expressions ("%_Socket").
// The variable's name does not contain the define's, so the preprocessor leaves "%_Socket" alone.
inline constexpr char csSocketDefine[] = "__Socket";
inline constexpr char csSocketVariable[] = "_Socket";

// Defines csSocketDefine as iSocket in the reader's define list, before the preprocessing pass.
void PredefineSocket(TInterpreterBase& aReader, int iSocket);
