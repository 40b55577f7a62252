#include "vok_video_player/site/site_tables.h"

#include <algorithm>

namespace vok {

const std::map<std::string, std::array<Corner, 4>> ROOM_CORNERS = {
    {"A",
     {{{0.1178496852517128, 10.650749206542969},
       {3.76343035697937, 10.621451377868652},
       {0.1178496852517128, 6.036409378051758},
       {3.7487902641296387, 6.051058292388916}}}},
    {"B",
     {{{3.805814266204834, 10.671765327453613},
       {8.269617080688477, 10.644081115722656},
       {3.805814266204834, 6.04871129989624},
       {8.278841018676758, 6.021029472351074}}}},
    {"C",
     {{{8.324222564697266, 10.683409690856934},
       {12.969343185424805, 10.683409690856934},
       {8.324222564697266, 6.061703205108643},
       {12.969343185424805, 6.022866249084473}}}},
    {"D",
     {{{0.10946185886859894, 5.901395320892334},
       {3.712092161178589, 5.8719706535339355},
       {0.10946184396743774, 0.0973321795463562},
       {3.667977809906006, 0.0973321795463562}}}},
    {"E",
     {{{3.8169093132019043, 5.937921524047852},
       {8.247485160827637, 5.894643306732178},
       {3.8861377239227295, 0.10401170700788498},
       {8.247486114501953, 0.09535639733076096}}}},
    {"F",
     {{{8.324222564697266, 4.689431190490723},
       {12.969343185424805, 4.676486015319824},
       {8.311283111572266, 0.11950825154781342},
       {12.956404685974121, 0.08067001402378082}}}},
};

const MapLimits MAP_LIMITS = {13, 10.7};

MediaList FOOD_LIST = {"pizza", "sandwich", "banana", "broccoli"};

MediaList OBJECT_LIST = {"book",   "bottle", "dog",        "fork",
                         "laptop", "remote", "toothbrush", "empty"};

namespace {
MediaList concatenate(const MediaList& a, const MediaList& b) {
  MediaList all(a);
  all.insert(all.end(), b.begin(), b.end());
  return all;
}
}  // namespace

// Defined after FOOD_LIST and OBJECT_LIST in this file, so both are built when it is.
MediaList ALL_THINGS = concatenate(FOOD_LIST, OBJECT_LIST);

const std::string YEAR = "ZQ 25-26";

const std::vector<std::string> ROOMS = {"A", "B", "C", "D", "E", "F"};

const std::string EMPTY_NAME = "empty";
const std::string PERSON_NAME = "person";

MediaList required_media_names() {
  MediaList names = ALL_THINGS;
  names.push_back(PERSON_NAME);
  return names;
}

std::string file_stem(const std::string& media_name) {
  std::string stem = media_name;
  std::replace(stem.begin(), stem.end(), ' ', '_');
  return stem;
}

}  // namespace vok
