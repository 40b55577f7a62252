#include "vok_video_player/node/master_watch.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <ros/connection_manager.h>
#include <ros/master.h>
#include <ros/names.h>
#include <ros/network.h>
#include <ros/ros.h>
#include <ros/service_manager.h>
#include <ros/xmlrpc_manager.h>
#include <xmlrpcpp/XmlRpcClient.h>

namespace vok {

namespace {

using XmlRpc::XmlRpcValue;

/// What the master at ROS_MASTER_URI says of this node.
enum class MasterView { unreachable, knows_this_node, knows_another_node, forgot_this_node };

/// True for an XML-RPC answer of the ROS APIs: [code, message, value].
bool is_answer(const XmlRpcValue& response) {
  return response.getType() == XmlRpcValue::TypeArray && response.size() == 3 &&
         response[0].getType() == XmlRpcValue::TypeInt;
}

XmlRpcValue list(const std::vector<std::string>& items) {
  XmlRpcValue value;
  value.setSize(static_cast<int>(items.size()));
  for (std::size_t i = 0; i < items.size(); ++i) value[static_cast<int>(i)] = items[i];
  return value;
}

/// Calls the master once, without waiting for it to come up. True when it answered with
/// success; `value` is then the answer's value.
bool call_master(const std::string& method, const std::vector<std::string>& args,
                 XmlRpcValue& value) {
  XmlRpcValue response;
  return ros::master::execute(method, list(args), response, value, false);
}

/// Calls this node's own slave API, as the master or a peer would.
bool call_self(const std::string& method, const XmlRpcValue& args, XmlRpcValue& value) {
  std::string host;
  uint32_t port = 0;
  if (!ros::network::splitURI(ros::XMLRPCManager::instance()->getServerURI(), host, port))
    return false;
  XmlRpc::XmlRpcClient client(host.c_str(), static_cast<int>(port), "/");
  XmlRpcValue response;
  const bool ok = client.execute(method.c_str(), args, response) && !client.isFault() &&
                  is_answer(response) && static_cast<int>(response[0]) == 1;
  client.close();
  if (ok) value = response[2];
  return ok;
}

MasterView ask_master() {
  const std::string name = ros::this_node::getName();
  XmlRpcValue response, uri;
  if (ros::master::execute("lookupNode", list({name, name}), response, uri, false)) {
    return uri.getType() == XmlRpcValue::TypeString &&
                   static_cast<std::string>(uri) == ros::XMLRPCManager::instance()->getServerURI()
               ? MasterView::knows_this_node
               : MasterView::knows_another_node;
  }
  // execute() is false both when no master answered and when one answered that it does not
  // know the name; only the second leaves an answer behind.
  return is_answer(response) ? MasterView::forgot_this_node : MasterView::unreachable;
}

/// The publishers of `topic` this node is connected to now, by their slave API URIs.
std::set<std::string> connected_publishers(const XmlRpcValue& bus, const std::string& topic) {
  std::set<std::string> uris;
  for (int i = 0; i < bus.size(); ++i) {
    const XmlRpcValue& link = bus[i];
    if (link.getType() != XmlRpcValue::TypeArray || link.size() < 5) continue;
    if (static_cast<std::string>(link[2]) == "i" && static_cast<std::string>(link[4]) == topic)
      uris.insert(static_cast<std::string>(link[1]));
  }
  return uris;
}

/// Registers every publication, subscription and service of the node with the master; true
/// when every call succeeded.
bool register_again() {
  const std::string name = ros::this_node::getName();
  const std::string api = ros::XMLRPCManager::instance()->getServerURI();
  XmlRpcValue own_name, publications, subscriptions, bus;
  own_name[0] = name;
  if (!call_self("getPublications", own_name, publications) ||
      !call_self("getSubscriptions", own_name, subscriptions) ||
      !call_self("getBusInfo", own_name, bus))
    return false;

  bool complete = true;
  XmlRpcValue ignored;
  for (int i = 0; i < publications.size(); ++i) {
    const std::string topic = publications[i][0], type = publications[i][1];
    complete = call_master("registerPublisher", {name, topic, type, api}, ignored) && complete;
  }
  for (int i = 0; i < subscriptions.size(); ++i) {
    const std::string topic = subscriptions[i][0], type = subscriptions[i][1];
    XmlRpcValue publishers;
    if (!call_master("registerSubscriber", {name, topic, type, api}, publishers)) {
      complete = false;
      continue;
    }
    // roscpp drops the links to publishers missing from an update; a publisher that outlived
    // the old master and has not registered with the new one still sends, so it stays.
    std::set<std::string> uris = connected_publishers(bus, topic);
    for (int p = 0; p < publishers.size(); ++p)
      uris.insert(static_cast<std::string>(publishers[p]));
    XmlRpcValue update;
    update[0] = "/master";
    update[1] = topic;
    update[2] = list({uris.begin(), uris.end()});
    complete = call_self("publisherUpdate", update, ignored) && complete;
  }
  const std::string service_api = "rosrpc://" + ros::network::getHost() + ":" +
                                  std::to_string(ros::ConnectionManager::instance()->getTCPPort());
  for (const char* service : {"~get_loggers", "~set_logger_level"}) {
    const std::string resolved = ros::names::resolve(service);
    if (!ros::ServiceManager::instance()->lookupServicePublication(resolved)) continue;
    complete =
        call_master("registerService", {name, resolved, service_api, api}, ignored) && complete;
  }
  return complete;
}

}  // namespace

MasterWatch::MasterWatch(std::function<bool()> stopping, std::chrono::milliseconds period,
                         std::optional<std::chrono::milliseconds> give_up)
    : shared_(std::make_shared<Shared>()), give_up_(give_up) {
  shared_->stopping_requested = std::move(stopping);
  shared_->period = period;
  thread_ = std::thread([shared = shared_] {
    run(*shared);
    shared->done.store(true);
  });
}

MasterWatch::~MasterWatch() { stop(); }

void MasterWatch::stop() {
  shared_->stopping.store(true);
  if (!thread_.joinable()) return;
  if (give_up_) {
    const auto deadline = std::chrono::steady_clock::now() + *give_up_;
    while (!shared_->done.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A call to a master gone silent can take minutes; the thread, which holds its state itself,
    // ends on its own once the call returns.
    if (!shared_->done.load()) {
      thread_.detach();
      return;
    }
  }
  thread_.join();
}

bool MasterWatch::wait_period(const Shared& shared) {
  // Short sleeps in place of a timed wait on a condition variable: with glibc 2.30 and later,
  // GCC 10's libstdc++ waits on the steady clock through pthread_cond_clockwait, which GCC 10's
  // ThreadSanitizer does not know, so it would take the mutex as never released by the wait.
  const auto step = std::chrono::milliseconds(20);
  for (auto slept = std::chrono::milliseconds(0); slept < shared.period; slept += step) {
    if (shared.stopping.load()) return false;
    std::this_thread::sleep_for(step);
  }
  return !shared.stopping.load();
}

void MasterWatch::run(const Shared& shared) {
  // Set while a registration with the present master failed part of the way; the master then
  // knows the node and is asked again all the same.
  bool owed = false;
  while (wait_period(shared)) {
    // Nothing more is asked once a stop is requested: the main thread is about to end the watch,
    // and a call to a master that went silent would hold that up.
    if (shared.stopping_requested()) continue;
    try {
      const MasterView view = ask_master();
      if (view == MasterView::forgot_this_node || (owed && view == MasterView::knows_this_node)) {
        owed = !register_again();
        if (!owed)
          ROS_INFO("Registered again with the ROS master at %s", ros::master::getURI().c_str());
      }
    } catch (const XmlRpc::XmlRpcException&) {
      // An answer of an unexpected shape: no registration is known to be complete.
      owed = true;
    }
  }
}

}  // namespace vok
