#pragma once

#include <string>

// The command Enter sends with the panel's start-up settings: 1000 Hz, sine, attenuator off,
// duty cycle never adjusted. The tests use it wherever one known command will do.
inline const std::string StartUpCommand = "8E30000008";
