#ifndef VOK_TUTORIALS22_MEDIA_MATCHER_H
#define VOK_TUTORIALS22_MEDIA_MATCHER_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace vok_tutorials22 {

/// \brief Width and height of a signature: small enough to compare thousands per request, large
/// enough to tell the items of a media folder apart.
constexpr int SIGNATURE_WIDTH = 32;
constexpr int SIGNATURE_HEIGHT = 24;

/// \brief A frame shrunk to SIGNATURE_WIDTH x SIGNATURE_HEIGHT, 8-bit BGR.
/// \throws std::invalid_argument for an empty frame or one that is not 8-bit with 1, 3 or 4
/// channels
cv::Mat signature(const cv::Mat& frame);

/// \brief 1 minus the mean absolute difference of two signatures over 255: 1.0 for equal
/// pictures, 0.0 for black against white.
double similarity(const cv::Mat& a, const cv::Mat& b);

/// \brief The media name of a file stem: every "_" becomes a blank.
std::string media_name_of_stem(const std::string& stem);

/// \brief One media item that a frame resembles.
struct Match {
  std::string name;
  double similarity;
};

/// \brief The pictures of a media folder, by media name: a still has one signature, a video one
/// per frame.
class MediaCatalogue {
 public:
  /// \brief Adds pictures under `name`; a name given twice (a still and a video) keeps both.
  void add(const std::string& name, std::vector<cv::Mat> signatures);

  /// \brief Every item whose best picture has at least `min_similarity` to `frame_signature`,
  /// most similar first (ties by name), at most `max_matches` of them.
  std::vector<Match> match(const cv::Mat& frame_signature, double min_similarity,
                           std::size_t max_matches) const;

  /// \brief The number of media names.
  std::size_t size() const { return items_.size(); }

 private:
  std::map<std::string, std::vector<cv::Mat>> items_;
};

/// \brief What loading a media folder gave.
struct LoadedFolder {
  MediaCatalogue catalogue;
  /// \brief One line for each file that could not be read; such files are left out.
  std::vector<std::string> problems;
};

/// \brief Loads every ".jpg" still and ".mp4" video directly in `folder`, a video with at most
/// `max_frames_per_video` frames, evenly spread when it has more.
/// \throws std::runtime_error when `folder` is not a readable directory
LoadedFolder load_media_folder(const std::string& folder, std::size_t max_frames_per_video);

}  // namespace vok_tutorials22

#endif  // VOK_TUTORIALS22_MEDIA_MATCHER_H
