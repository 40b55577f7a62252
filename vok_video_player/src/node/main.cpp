// The VOK video player node: a camera stand-in that follows the robot from room to room.
#include "vok_video_player/node/startup.h"
#include "vok_video_player/player/vok_video_player.h"

int main(int argc, char** argv) {
  return vok::run_player(argc, argv, "vok_cw_video",
                         [](vok::VOKVideoPlayer& player) { player.main_loop(); });
}
