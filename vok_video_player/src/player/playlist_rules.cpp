#include "vok_video_player/player/playlist_rules.h"

#include <utility>

#include "vok_video_player/common/text_format.h"

namespace vok {

PlaylistPtr own_playlist(MediaList names) { return std::make_shared<MediaList>(std::move(names)); }

PlaylistPtr table_playlist(MediaList& table) {
  // Non-owning: the tables live for the whole process.
  return PlaylistPtr(PlaylistPtr(), &table);
}

RoomPlaylist build_playlist(const std::string& room, bool test,
                            const std::function<bool()>& roll_dice, Random& random) {
  RoomPlaylist result;
  bool shuffle = true;
  if (room == "F") {
    result.label = "Playlist for Kitchen (F):";
    if (test) {
      result.list = own_playlist({PERSON_NAME});
    } else if (roll_dice()) {
      result.list = own_playlist({PERSON_NAME, random.choose(ALL_THINGS)});
    } else {
      result.list = table_playlist(ALL_THINGS);
    }
  } else if (room == "C") {
    result.label = "Playlist for Bedroom (C):";
    if (test) {
      result.list = table_playlist(FOOD_LIST);
    } else if (roll_dice()) {
      MediaList names = random.sample(FOOD_LIST, 2);
      const MediaList objects = random.sample(OBJECT_LIST, 2);
      names.insert(names.end(), objects.begin(), objects.end());
      result.list = own_playlist(std::move(names));
    } else {
      result.list = table_playlist(OBJECT_LIST);
    }
  } else if (room == "B" && test) {
    result.label = "Test in room B: playing laptop";
    result.list = own_playlist({"laptop"});
    shuffle = false;
  } else {
    result.label = "Playlist for non-special room:";
    MediaList names = ALL_THINGS;
    names.push_back(PERSON_NAME);
    result.list = own_playlist(std::move(names));
  }
  if (shuffle) random.shuffle(*result.list);
  return result;
}

std::string playlist_line(const RoomPlaylist& playlist) {
  return playlist.label + " " + format_playlist(*playlist.list);
}

}  // namespace vok
