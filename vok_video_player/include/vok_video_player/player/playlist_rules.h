#ifndef VOK_VIDEO_PLAYER_PLAYER_PLAYLIST_RULES_H
#define VOK_VIDEO_PLAYER_PLAYER_PLAYLIST_RULES_H

#include <functional>
#include <memory>
#include <string>

#include "vok_video_player/common/random.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {

/// \brief A playlist shared between the pose callback and the main loop. For some rooms it
/// points at a site table itself, so that shuffling the playlist reorders that table.
using PlaylistPtr = std::shared_ptr<MediaList>;

/// \brief A new playlist of its own holding `names`.
PlaylistPtr own_playlist(MediaList names);

/// \brief A playlist that is the site table `table` itself, not a copy.
PlaylistPtr table_playlist(MediaList& table);

/// \brief A room's new playlist, already shuffled where its rule says so, and the label that
/// introduces it on standard output.
struct RoomPlaylist {
  PlaylistPtr list;
  std::string label;
};

/// \brief Builds the playlist for entering `room`.
///
/// `roll_dice` is called at most once, only for rooms F and C outside test mode, and before any
/// name is drawn; choices, samples and the shuffle come from `random` in that order.
RoomPlaylist build_playlist(const std::string& room, bool test,
                            const std::function<bool()>& roll_dice, Random& random);

/// \brief The line printed for a new playlist: its label, a blank and the list.
std::string playlist_line(const RoomPlaylist& playlist);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_PLAYER_PLAYLIST_RULES_H
