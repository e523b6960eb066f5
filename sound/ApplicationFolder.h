#pragma once

#include <string>

// The folder that holds the running executable, without a trailing '/'.
// Asked of the system on every call; empty if the system cannot tell.
std::string applicationFolder();
