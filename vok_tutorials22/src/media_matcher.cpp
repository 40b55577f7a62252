#include "vok_tutorials22/media_matcher.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace vok_tutorials22 {

namespace fs = std::filesystem;

cv::Mat signature(const cv::Mat& frame) {
  if (frame.empty()) throw std::invalid_argument("empty frame");
  if (frame.depth() != CV_8U) throw std::invalid_argument("frame is not 8-bit");
  cv::Mat bgr;
  switch (frame.channels()) {
    case 1:
      cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
      break;
    case 3:
      bgr = frame;
      break;
    case 4:
      cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
      break;
    default:
      throw std::invalid_argument("frame has " + std::to_string(frame.channels()) + " channels");
  }
  cv::Mat small;
  cv::resize(bgr, small, cv::Size(SIGNATURE_WIDTH, SIGNATURE_HEIGHT), 0, 0, cv::INTER_AREA);
  return small;
}

double similarity(const cv::Mat& a, const cv::Mat& b) {
  const double values = static_cast<double>(a.total()) * a.channels();
  return 1.0 - cv::norm(a, b, cv::NORM_L1) / (255.0 * values);
}

std::string media_name_of_stem(const std::string& stem) {
  std::string name = stem;
  std::replace(name.begin(), name.end(), '_', ' ');
  return name;
}

void MediaCatalogue::add(const std::string& name, std::vector<cv::Mat> signatures) {
  auto& pictures = items_[name];
  for (auto& s : signatures) pictures.push_back(std::move(s));
}

std::vector<Match> MediaCatalogue::match(const cv::Mat& frame_signature, double min_similarity,
                                         std::size_t max_matches) const {
  std::vector<Match> matches;
  for (const auto& [name, pictures] : items_) {
    double best = -1.0;
    for (const auto& picture : pictures)
      best = std::max(best, similarity(frame_signature, picture));
    if (!pictures.empty() && best >= min_similarity) matches.push_back({name, best});
  }
  std::stable_sort(matches.begin(), matches.end(),
                   [](const Match& a, const Match& b) { return a.similarity > b.similarity; });
  if (matches.size() > max_matches) matches.resize(max_matches);
  return matches;
}

namespace {

std::vector<cv::Mat> video_signatures(const std::string& path, std::size_t max_frames) {
  std::vector<cv::Mat> all;
  cv::VideoCapture capture(path, cv::CAP_FFMPEG);
  cv::Mat frame;
  while (capture.isOpened() && capture.read(frame)) all.push_back(signature(frame));
  if (all.size() <= max_frames) return all;
  std::vector<cv::Mat> spread;
  for (std::size_t i = 0; i < max_frames; ++i) spread.push_back(all[i * all.size() / max_frames]);
  return spread;
}

}  // namespace

LoadedFolder load_media_folder(const std::string& folder, std::size_t max_frames_per_video) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    throw std::runtime_error("media folder " + folder + " is not a directory");
  }
  std::vector<fs::path> files;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const auto extension = it->path().extension();
    if ((extension == ".jpg" || extension == ".mp4") && fs::is_regular_file(it->path(), error)) {
      files.push_back(it->path());
    }
  }
  if (error)
    throw std::runtime_error("cannot list media folder " + folder + ": " + error.message());
  std::sort(files.begin(), files.end());

  LoadedFolder loaded;
  for (const auto& file : files) {
    std::vector<cv::Mat> signatures;
    if (file.extension() == ".jpg") {
      const cv::Mat still = cv::imread(file.string(), cv::IMREAD_COLOR);
      if (!still.empty()) signatures.push_back(signature(still));
    } else {
      signatures = video_signatures(file.string(), max_frames_per_video);
    }
    if (signatures.empty()) {
      loaded.problems.push_back(file.string() + " cannot be decoded; it is left out");
      continue;
    }
    loaded.catalogue.add(media_name_of_stem(file.stem().string()), std::move(signatures));
  }
  return loaded;
}

}  // namespace vok_tutorials22
