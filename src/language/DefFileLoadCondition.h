#pragma once

#include <QString>

#include <array>
#include <cstdint>

enum TConditionLevelTypes : std::uint8_t
{
    eclNone = 0, // no open block at this level, or its #else has been reached
    eclIf,       // a branch of this block has been taken
    eclElse      // no branch of this block has been taken yet
};

// The stack of open conditional blocks of one load; at most 15 can be open at once.
class TLoadCondition
{
public:
    void Push(TConditionLevelTypes aType);
    void Pop();
    TConditionLevelTypes Read(bool aReset);
    void Write(TConditionLevelTypes aType) { fConditionLevels[std::size_t(fiConditionIndex)] = aType; }
    int Depth() const { return fiConditionIndex; }

    // "true" or "false" (any case), else an expression of the evaluator taken as a Boolean.
    static bool IsTermTrue(const QString& aTerm);

private:
    std::array<TConditionLevelTypes, 16> fConditionLevels{};
    int fiConditionIndex = 0;
};
