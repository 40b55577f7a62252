// A stand-in for an object detector, for testing and demonstrating the VOK video player's
// detection self-test: it recognises only the pictures of one media folder.
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <cv_bridge/cv_bridge.h>
#include <ros/ros.h>
#include <sensor_msgs/Image.h>

#include "vok_tutorials22/YOLOLastFrame.h"
#include "vok_tutorials22/media_matcher.h"

namespace {

constexpr char USAGE[] =
    "Usage: reference_detector --media_folder DIR [--min_similarity S] [--max_detections N]\n"
    "                          [--max_frames_per_video F]\n";

constexpr char DESCRIPTION[] =
    "A test and demo instrument, NOT a real object detector. It serves /detect_frame\n"
    "(vok_tutorials22/YOLOLastFrame) by comparing the last frame received on /camera/image\n"
    "with the pictures of the media items in DIR (every .jpg still and every frame of every\n"
    ".mp4 video, each shrunk to 32x24). It names the items the frame resembles, most similar\n"
    "first, with the similarity in [0, 1] as the confidence; the name of an item is its file\n"
    "stem with every \"_\" replaced by a blank. It recognises nothing but those pictures.\n"
    "\n"
    "  --media_folder DIR        the media folder (required)\n"
    "  --min_similarity S        least similarity of a detection, 0 to 1 (default 0.9)\n"
    "  --max_detections N        most detections in one answer (default 5)\n"
    "  --max_frames_per_video F  frames kept of a longer video, evenly spread (default 3000)\n"
    "  -h, --help                this text\n";

struct Options {
  std::string media_folder;
  double min_similarity = 0.9;
  std::size_t max_detections = 5;
  std::size_t max_frames_per_video = 3000;
};

double parse_number(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) {
    throw std::invalid_argument(option + " needs a number, not '" + text + "'");
  }
  return value;
}

std::size_t parse_count(const std::string& option, const std::string& text) {
  const double value = parse_number(option, text);
  if (value < 1 || value != static_cast<double>(static_cast<std::size_t>(value))) {
    throw std::invalid_argument(option + " needs a whole number of at least 1, not '" + text + "'");
  }
  return static_cast<std::size_t>(value);
}

/// Empty when help was asked for.
std::optional<Options> parse_options(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "-h" || option == "--help") return std::nullopt;
    if (i + 1 >= arguments.size()) {
      throw std::invalid_argument(option.rfind("--", 0) == 0 ? option + " needs a value"
                                                             : "unexpected argument " + option);
    }
    const std::string& value = arguments[++i];
    if (option == "--media_folder") {
      options.media_folder = value;
    } else if (option == "--min_similarity") {
      options.min_similarity = parse_number(option, value);
      if (options.min_similarity < 0 || options.min_similarity > 1) {
        throw std::invalid_argument("--min_similarity must lie in [0, 1]");
      }
    } else if (option == "--max_detections") {
      options.max_detections = parse_count(option, value);
    } else if (option == "--max_frames_per_video") {
      options.max_frames_per_video = parse_count(option, value);
    } else {
      throw std::invalid_argument("unknown option " + option);
    }
  }
  if (options.media_folder.empty()) throw std::invalid_argument("--media_folder is required");
  return options;
}

class ReferenceDetector {
 public:
  ReferenceDetector(const Options& options, vok_tutorials22::MediaCatalogue catalogue)
      : options_(options), catalogue_(std::move(catalogue)) {
    image_sub_ = node_.subscribe("/camera/image", 1, &ReferenceDetector::on_image, this);
    service_ = node_.advertiseService("/detect_frame", &ReferenceDetector::on_request, this);
  }

 private:
  void on_image(const sensor_msgs::ImageConstPtr& msg) {
    try {
      const cv::Mat frame_signature =
          vok_tutorials22::signature(cv_bridge::toCvShare(msg, "bgr8")->image);
      std::lock_guard<std::mutex> lock(mutex_);
      last_signature_ = frame_signature;
    } catch (const std::exception& e) {
      ROS_WARN_THROTTLE(5.0, "reference detector: frame of encoding %s ignored: %s",
                        msg->encoding.c_str(), e.what());
    }
  }

  bool on_request(vok_tutorials22::YOLOLastFrame::Request&,
                  vok_tutorials22::YOLOLastFrame::Response& response) {
    cv::Mat frame_signature;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      frame_signature = last_signature_;
    }
    if (frame_signature.empty()) {
      ROS_WARN("reference detector: no frame received on /camera/image yet; nothing detected");
      return true;
    }
    std::string summary;
    for (const auto& m :
         catalogue_.match(frame_signature, options_.min_similarity, options_.max_detections)) {
      vok_tutorials22::Detection detection;
      detection.name = m.name;
      detection.confidence = m.similarity;
      response.detections.push_back(detection);
      summary += (summary.empty() ? "" : ", ") + m.name + " (" + std::to_string(m.similarity) + ")";
    }
    ROS_INFO("reference detector: %s", summary.empty() ? "nothing detected" : summary.c_str());
    return true;
  }

  Options options_;
  vok_tutorials22::MediaCatalogue catalogue_;
  ros::NodeHandle node_;
  ros::Subscriber image_sub_;
  ros::ServiceServer service_;
  std::mutex mutex_;
  cv::Mat last_signature_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  ros::removeROSArgs(argc, argv, arguments);
  std::optional<Options> options;
  try {
    options = parse_options(arguments);
  } catch (const std::invalid_argument& e) {
    std::cerr << USAGE << "reference_detector: error: " << e.what() << std::endl;
    return 2;
  }
  if (!options) {
    std::cout << USAGE << "\n" << DESCRIPTION;
    return 0;
  }

  ros::init(argc, argv, "vok_reference_detector");
  vok_tutorials22::LoadedFolder loaded;
  try {
    loaded =
        vok_tutorials22::load_media_folder(options->media_folder, options->max_frames_per_video);
  } catch (const std::exception& e) {
    ROS_ERROR("reference detector: %s", e.what());
    return 1;
  }
  for (const auto& problem : loaded.problems) ROS_WARN("reference detector: %s", problem.c_str());
  if (loaded.catalogue.size() == 0) {
    ROS_ERROR("reference detector: no .jpg or .mp4 media item in %s",
              options->media_folder.c_str());
    return 1;
  }

  const std::size_t items = loaded.catalogue.size();
  ReferenceDetector detector(*options, std::move(loaded.catalogue));
  ROS_INFO(
      "reference detector: serving /detect_frame for %zu media items of %s (a test "
      "instrument, not a real object detector)",
      items, options->media_folder.c_str());
  ros::spin();
  return 0;
}
