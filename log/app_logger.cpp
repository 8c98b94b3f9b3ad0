// The definitions whose order matters, kept in this one file: C++ builds the objects of a file in
// the order they stand and destroys them in reverse, so LoggerName and the standard streams exist
// for as long as AppLogger does.
#include "log/app_logger.h"

#include <iostream>  // sets up the standard streams ahead of the definitions below
#include <string>

const std::string LoggerName = "DID";

cpplog::ZmLogger AppLogger(cpplog::ZmLogger::SetUp::DefaultSinks);
