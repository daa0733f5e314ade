#pragma once

#include <QString>

// The actions of the main window, in the window's order.
enum EMainAction
{
    maFileOpen,
    maFileReload,
    maFileExit,
    maProcessReset,
    maProcessStart,
    maProcessStep,
    maProcessPause,
    maProcessContinue,
    maProcessStop,
    maProcessBreak,
    maProcessDisableEnable,
    maViewTreeViewExpant,
    maViewTreeViewExpandDefault,
    maViewTreeViewCollapse,
    maViewLastErrorDlg,
    maViewListAssignedKeys,
    maViewKeyCodes,
    maViewMsgTrace,
    maViewMsgDebug,
    maOptionsSetOperatorName,
    maOptionsSkipErrors,
    maOptionsExtras,
    maHelpHomePage,
    maHelpAbout,
    maEditCopy,
    maSelectTree,
    maCount
};

// The caption of a main-window action as its menu shows it, ampersands included. A definition
// assigns keys to actions by these captions, so the headless runner checks them without a window.
const QString& MainActionCaption(EMainAction eAction);

// Whether some action has exactly this caption (case-sensitive, ampersands included).
bool IsMainActionCaption(const QString& sCaption);
