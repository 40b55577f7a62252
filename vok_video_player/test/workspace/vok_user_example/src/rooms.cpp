// Prints the room of each point given as "X Y" on the command line, through the site model that
// vok_video_player exports: a user's program built against the package's headers and libraries.
#include <cstdlib>
#include <iostream>
#include <string>

#include "vok_video_player/site/room_geometry.h"

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string room = vok::find_room(std::atof(argv[i]), std::atof(argv[i + 1]));
    std::cout << (room.empty() ? "none" : room) << "\n";
  }
  return 0;
}
