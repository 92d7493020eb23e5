// qxhost: plays the meeting client's side of a StreamCourier session from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "host/ToolOptions.h"
#include "host/ToolRun.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    qxhost::ToolOptions options;
    std::string error;
    if (!qxhost::ParseToolOptions(args, &options, &error)) {
        std::cerr << "qxhost: " << error << "\n" << qxhost::ToolUsage();
        return 2;
    }
    if (options.help) {
        std::cout << qxhost::ToolUsage();
        return 0;
    }
    return qxhost::RunTool(options, std::cout, std::cerr);
}
