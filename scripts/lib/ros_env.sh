# Sourced by the scripts: which ROS they build against and run with, and a PATH for it.
#
# A ROS from its own packages (/opt/ros/noetic, say), sourced by its setup.bash, sets ROS_DISTRO;
# the scripts then use that ROS as it is. Debian's own ROS lives in /usr, and a workspace built
# on it sets ROS_DISTRO to "Debian".
#
# VOK_ROS_PREFIX is the sourced ROS's prefix (where its catkin is), empty for Debian's own ROS.
# VOK_ROS_SOURCED is 1 when a ROS other than Debian's has been sourced, whether or not its prefix
# was found.

VOK_ROS_PREFIX=""
VOK_ROS_SOURCED=0
if [[ -n "${ROS_DISTRO:-}" && "$ROS_DISTRO" != Debian ]]; then
  VOK_ROS_SOURCED=1
  for vok_prefix in ${CMAKE_PREFIX_PATH:+${CMAKE_PREFIX_PATH//:/ }}; do
    if [[ -f "$vok_prefix/share/catkin/package.xml" ]]; then
      VOK_ROS_PREFIX="$vok_prefix"
      break
    fi
  done
  unset vok_prefix
fi

# ROS's Python tools need the system's python3: one that comes earlier on PATH (pyenv's, a
# virtualenv's) lacks ROS's modules. So /usr/bin goes first, behind a sourced ROS's own programs.
export PATH="${VOK_ROS_PREFIX:+$VOK_ROS_PREFIX/bin:}/usr/bin:$PATH"

# vok_testing: ON where the tests' tools are installed (rostest's CMake files and gtest's
# headers), else OFF; the value for -DCATKIN_ENABLE_TESTING. rostest keeps its CMake files under
# lib/<multiarch>/cmake on Debian 12 and later, and under share/rostest/cmake on Debian 11 and in
# ROS's own packages (/opt/ros/DISTRO).
vok_testing() {
  local prefix
  if [[ -f /usr/include/gtest/gtest.h ]]; then
    for prefix in ${CMAKE_PREFIX_PATH:+${CMAKE_PREFIX_PATH//:/ }} /usr; do
      if compgen -G "$prefix/lib/*/cmake/rostest/rostestConfig.cmake" > /dev/null ||
        [[ -f "$prefix/share/rostest/cmake/rostestConfig.cmake" ]]; then
        echo ON
        return
      fi
    done
  fi
  echo OFF
}
