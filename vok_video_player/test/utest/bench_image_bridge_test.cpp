// The player publishes frames in their wire form to spare roscpp's per-frame serialization. A
// subscriber must not be able to tell: these checks hold the bytes to what roscpp makes of the
// cv_bridge message, and the buffer reuse to its one rule (never while roscpp holds it).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <cv_bridge/cv_bridge.h>
#include <ros/serialization.h>

#include "vok_video_player/media/image_bridge.h"

namespace {

cv::Mat pattern(int rows, int cols) {
  cv::Mat image(rows, cols, CV_8UC3);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x)
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(x), static_cast<uchar>(y),
                                            static_cast<uchar>(x * 7 + y * 3));
  return image;
}

std::vector<uint8_t> bytes(const ros::SerializedMessage& m) {
  return std::vector<uint8_t>(m.buf.get(), m.buf.get() + m.num_bytes);
}

std::vector<uint8_t> bytes(const vok::SerializedImage& m) {
  return std::vector<uint8_t>(m.buffer.get(), m.buffer.get() + m.size);
}

sensor_msgs::Image read_back(const vok::SerializedImage& m) {
  sensor_msgs::Image image;
  ros::serialization::deserializeMessage(ros::serialization::serializeMessage(m), image);
  return image;
}

}  // namespace

TEST(ImageBridgeWireForm, StillBytesMatchRoscppSerializationOfTheCvBridgeMessage) {
  const vok::ImageBridge bridge;
  const cv::Mat whole = pattern(37, 53);
  for (const cv::Mat& image : {whole, whole(cv::Rect(5, 3, 21, 17))}) {  // continuous, and not
    const auto reference =
        ros::serialization::serializeMessage(*bridge.cv2_to_imgmsg(image, "bgr8"));
    EXPECT_EQ(bytes(bridge.serialized_bgr8(image)), bytes(reference));
  }
}

TEST(ImageBridgeWireForm, PublishingHandsRoscppTheSameBufferWithoutACopy) {
  const vok::SerializedImage m = vok::ImageBridge().serialized_bgr8(pattern(4, 6));
  const ros::SerializedMessage sent = ros::serialization::serializeMessage(m);
  EXPECT_EQ(sent.buf.get(), m.buffer.get());
  EXPECT_EQ(sent.num_bytes, m.size);
  EXPECT_EQ(sent.message_start, m.buffer.get() + 4);
  EXPECT_STREQ(ros::message_traits::md5sum(m), ros::message_traits::md5sum<sensor_msgs::Image>());
}

TEST(ImageBridgeWireForm, DecodedFrameViewReadsBackAsTheFrame) {
  const vok::ImageBridge bridge;
  vok::SerializedImage m;
  cv::Mat view = bridge.bgr8_view(m, 9, 11);
  ASSERT_EQ(view.rows, 9);
  ASSERT_EQ(view.cols, 11);
  pattern(9, 11).copyTo(view);  // as the decoder does: into the view, no reallocation
  const sensor_msgs::Image back = read_back(m);
  EXPECT_EQ(back.height, 9u);
  EXPECT_EQ(back.width, 11u);
  EXPECT_EQ(back.encoding, "bgr8");
  EXPECT_EQ(back.step, 33u);
  EXPECT_EQ(back.data, bridge.cv2_to_imgmsg(pattern(9, 11), "bgr8")->data);
}

TEST(ImageBridgeWireForm, FrameBufferReusedOnlyWhenFreeAndOfTheSameShape) {
  const vok::ImageBridge bridge;
  vok::SerializedImage m;
  const uchar* first = bridge.bgr8_view(m, 8, 8).data;
  EXPECT_EQ(bridge.bgr8_view(m, 8, 8).data, first);

  // roscpp still sending it: the next frame must not overwrite it.
  const boost::shared_array<uint8_t> in_flight = m.buffer;
  cv::Mat next = bridge.bgr8_view(m, 8, 8);
  EXPECT_NE(next.data, first);
  EXPECT_NE(m.buffer.get(), in_flight.get());

  // Another size gets a buffer of that size.
  cv::Mat wider = bridge.bgr8_view(m, 8, 16);
  EXPECT_EQ(wider.cols, 16);
  EXPECT_EQ(read_back(m).width, 16u);
}

TEST(ImageBridgeWireForm, EmptyOrWrongTypeImagesAreRefused) {
  const vok::ImageBridge bridge;
  EXPECT_THROW(bridge.serialized_bgr8(cv::Mat()), cv_bridge::Exception);
  EXPECT_THROW(bridge.serialized_bgr8(cv::Mat(4, 4, CV_8UC1)), cv_bridge::Exception);
}

TEST(ImageBridgeWireForm, AStampWrittenIntoAFrameWithAFrameIdReadsBackWhole) {
  // The stamp is written in place, at a fixed offset of the header: a wrong offset would corrupt
  // the frame id or the pixels, which roscpp sends on as they are.
  vok::ImageBridge bridge;
  for (const std::string frame_id : {"", "camera", "a/much/longer/frame_id"}) {
    bridge.set_form(false, frame_id);
    vok::Frame frame = bridge.frame_of(pattern(9, 11));
    const ros::Time stamp(1796931497, 94657032);
    vok::ImageBridge::stamp(frame, stamp);
    const sensor_msgs::Image back = read_back(frame.wire);
    EXPECT_EQ(back.header.stamp, stamp);
    EXPECT_EQ(back.header.frame_id, frame_id);
    EXPECT_EQ(back.data, bridge.cv2_to_imgmsg(pattern(9, 11), "bgr8")->data);
  }
}
