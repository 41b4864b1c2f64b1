// The reference clickers' stdin protocol: one "run COUNT PERIOD_MS SENDS_FILE" line per round.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

struct RoundCommand {
  long count = 0, period_ms = 0;
  std::string sends_file;
};

// The next well-formed command, answering a malformed one on stdout; false at the end of stdin.
inline bool NextRound(RoundCommand& command) {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string verb;
    command = {};
    if ((words >> verb >> command.count >> command.period_ms >> command.sends_file) && verb == "run" &&
        command.count > 0 && command.period_ms > 0)
      return true;
    std::cout << "error bad command: " << line << std::endl;
  }
  return false;
}
