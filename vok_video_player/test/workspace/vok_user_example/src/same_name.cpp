// A program of the user's whose target has the name of a file that vok_video_player or
// vok_tutorials22 makes (CMakeLists.txt); it only has to build.
int main() { return 0; }
