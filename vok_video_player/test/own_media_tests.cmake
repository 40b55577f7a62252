# A phone's folder turned into a media folder by make_media_folder, and played by the node binary.
vok_node_test(own_media NODE
  DEFINES VOK_MAKE_MEDIA_FOLDER="${PROJECT_SOURCE_DIR}/scripts/make_media_folder")
