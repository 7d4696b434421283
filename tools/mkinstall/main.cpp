#include "tools/mkinstall/mkinstall.h"

int main(int argc, char** argv) { return mkinstall::run(std::vector<std::string>(argv + 1, argv + argc)); }
