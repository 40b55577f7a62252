#ifndef VOK_VIDEO_PLAYER_SITE_SITE_TABLES_H
#define VOK_VIDEO_PLAYER_SITE_SITE_TABLES_H

#include <array>
#include <map>
#include <string>
#include <vector>

namespace vok {

/// \brief A measured corner of a room, in map metres.
struct Corner {
  double x;
  double y;
};

/// \brief The extent of the map along each axis, in map metres.
struct MapLimits {
  int x;
  double y;
};

/// \brief A sequence of media names (a playlist or one of the name tables).
using MediaList = std::vector<std::string>;

/// \brief Corners of every room: upper-left, upper-right, lower-left, lower-right.
extern const std::map<std::string, std::array<Corner, 4>> ROOM_CORNERS;
/// \brief Bounds of the area from which random locations are drawn.
extern const MapLimits MAP_LIMITS;
/// \brief The food media names. Its order changes when a playlist aliases it.
extern MediaList FOOD_LIST;
/// \brief The object media names. Its order changes when a playlist aliases it.
extern MediaList OBJECT_LIST;
/// \brief FOOD_LIST followed by OBJECT_LIST, as a sequence of its own.
extern MediaList ALL_THINGS;
/// \brief The edition shown in the start-up banner.
extern const std::string YEAR;
/// \brief The room letters, in the order the robot's position is tested against them.
extern const std::vector<std::string> ROOMS;

/// \brief The media name played when the robot is in no room.
extern const std::string EMPTY_NAME;
/// \brief The media name that no table holds but some playlists add.
extern const std::string PERSON_NAME;

/// \brief Every media name a playlist can hold: ALL_THINGS in its current order, then "person".
MediaList required_media_names();

/// \brief A media name with every blank replaced by "_", the stem of its files.
std::string file_stem(const std::string& media_name);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_SITE_SITE_TABLES_H
