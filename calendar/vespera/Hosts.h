#pragma once

#include <vector>

// The two ways the program runs the agent. `arguments` is the container's
// command line, ended by a null pointer. Each returns the process's exit
// code.
int RunHeadless(std::vector<char*>& arguments);
int RunWindowed(std::vector<char*>& arguments);
