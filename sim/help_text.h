#pragma once

namespace kestrion::sim {

// The --help page: the user documentation of the simulator.
extern const char* const kHelpText;

} // namespace kestrion::sim
