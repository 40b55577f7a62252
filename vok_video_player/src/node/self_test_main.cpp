// The detection self-test: plays every media item once and reports what /detect_frame saw.
#include "vok_video_player/node/startup.h"
#include "vok_video_player/player/vok_video_player.h"

int main(int argc, char** argv) {
  return vok::run_player(argc, argv, "vok_self_test",
                         [](vok::VOKVideoPlayer& player) { player.test_all_images(); });
}
