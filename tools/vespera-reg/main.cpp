#include "RegTool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    CRegTool tool(std::cout, std::cerr);
    return tool.Run(args);
}
