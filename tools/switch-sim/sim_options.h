// switch-sim's command line: the help text and the options read into a SwitchSimConfig.
// ParseSimOptions leaves the values not given as they are; it returns an empty string on success,
// else what is wrong, for a usage error. The script given is opened, not read; the files of
// phones are read. The address is checked to be an IPv4 address, not that it can be bound.
#pragma once

#include <fstream>
#include <string>

#include "tools/switch-sim/switch_sim.h"

// The options with their defaults (those of SwitchSimConfig), the output and the exit status.
std::string SimUsage();

std::string ParseSimOptions(int argc, char** argv, SwitchSimConfig& config, bool& bQuiet,
                            bool& bTrace, std::ifstream& script);
