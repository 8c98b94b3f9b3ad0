// The launcher's process-wide logger. Every record goes to AppLogger, which hands it to the
// debugger output and then to standard error. A record is one statement, for example
//   n_log::AppendWide(n_log::CustomLogMessage(kLauncherSourceFile, "WriteRegFun", 211, cpplog::LL_INFO,
//                                             &AppLogger).Stream(), L"set reg failure: ");
#pragma once

#include "log/fan_out_logger.h"
#include "log/log_level.h"
#include "log/log_record.h"

// The source file that the launcher's records name: the one holding wWinMain.
inline constexpr char kLauncherSourceFile[] = "launcher/Fennowick.cpp";

// Built during static initialisation, after LoggerName and the standard streams, and torn down
// after wWinMain has returned, before them.
extern cpplog::ZmLogger AppLogger;
