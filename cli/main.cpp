#include "cli/DecodeTool.h"

int main(int argc, char** argv)
{
    return DecodeTool::run(std::vector<std::string>(argv + 1, argv + argc));
}
