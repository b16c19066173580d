#pragma once

class CLaunchOptions;

// The two ways the program runs the agent, with what it was started with
// (the container's arguments among it). Each returns the process's exit
// code.
int RunHeadless(CLaunchOptions& options);
int RunWindowed(CLaunchOptions& options);
