#include "tools/mkinstall/mkinstall.h"

#include <iostream>

namespace mkinstall {

int run(const std::vector<std::string>& words) {
  (void)words;
  std::cerr << "usage: mkinstall init DIR | create DIR [options] | faults\n";
  return 2;
}

}  // namespace mkinstall
