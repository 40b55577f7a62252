#ifndef VOK_VIDEO_PLAYER_NODE_MASTER_WATCH_H
#define VOK_VIDEO_PLAYER_NODE_MASTER_WATCH_H

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace vok {

/// \brief Registers the node again with a ROS master that was restarted under it.
///
/// roscpp registers a node's publications, subscriptions and services with the master once, at
/// start; a master started anew at the same URI knows nothing of them, so no new peer would ever
/// find the node. The watch asks the master, about every `period`, which URI it has for this
/// node. A master that answers and does not know the node gets everything the node publishes,
/// subscribes to and serves registered again, and the publishers it already knows of are handed
/// to the node as roscpp's own slave API would be told of them. A master that knows the name
/// under another URI has a new node of that name: the watch leaves it alone.
///
/// A call to the master can block for minutes when its host drops packets silently, so the
/// watch runs on a thread of its own, neither on the callback thread that takes the poses nor
/// on the main loop that paces the stream; it touches none of the player's state.
class MasterWatch {
 public:
  /// \brief Starts the watch; the node must have started (a node handle exists). Once
  /// `stopping` is true, the watch asks the master nothing more, so that a master gone silent
  /// does not hold up the stop.
  /// \param give_up how long stop() waits for a master call in progress before it leaves the
  /// call to end on its own; unset: as long as the call takes
  explicit MasterWatch(std::function<bool()> stopping,
                       std::chrono::milliseconds period = std::chrono::milliseconds(500),
                       std::optional<std::chrono::milliseconds> give_up = std::nullopt);
  ~MasterWatch();

  MasterWatch(const MasterWatch&) = delete;
  MasterWatch& operator=(const MasterWatch&) = delete;

  /// \brief Ends the watch. Returns once a master call in progress has ended, or after
  /// `give_up`.
  void stop();

 private:
  /// What the watch's thread uses, owned with it, so that a thread left in a call outlives the
  /// watch safely.
  struct Shared {
    std::function<bool()> stopping_requested;
    std::chrono::milliseconds period{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> done{false};
  };

  static void run(const Shared& shared);

  /// Sleeps up to the period, in short steps; false when the watch is to end.
  static bool wait_period(const Shared& shared);

  std::shared_ptr<Shared> shared_;
  std::optional<std::chrono::milliseconds> give_up_;
  std::thread thread_;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_NODE_MASTER_WATCH_H
