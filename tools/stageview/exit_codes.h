// stageview's exit codes, worded as in the README. The one table that the
// usage text is written from and that the code and the tests name; 2 and 3
// are the codes every host of this project gives a DLL that is no stage
// plug-in (plugin_module.h).
#pragma once

#include "plugin_module.h"

const int kExitDone = 0;
const int kExitBadArguments = 1;
const int kExitCannotLoadPlugin = kCannotLoadPlugin;  // 2
const int kExitNotAStagePlugin = kNotAStagePlugin;    // 3
const int kExitNoStageFolder = 4;
const int kExitBrokeContract = 5;
const int kExitCannotWriteImage = 6;
const int kExitPluginCrashed = 7;
const int kExitStageviewCrashed = 8;
const int kExitPluginHung = 9;

struct ExitCodeMeaning {
  int code;
  const char *meaning;
};

// clang-format off
const ExitCodeMeaning kExitCodes[] = {
    {kExitDone,             "done"},
    {kExitBadArguments,     "bad arguments"},
    {kExitCannotLoadPlugin, "the plug-in cannot be loaded"},
    {kExitNotAStagePlugin,  "it exports no CreateStage"},
    {kExitNoStageFolder,    "no stage folder"},
    {kExitBrokeContract,    "the plug-in broke the host contract"},
    {kExitCannotWriteImage, "the image cannot be written"},
    {kExitPluginCrashed,    "the plug-in crashed"},
    {kExitStageviewCrashed, "stageview itself crashed"},
    {kExitPluginHung,       "a call into the plug-in did not return within the call limit"},
};
// clang-format on
