# The kinds of file users put in the media folder, each played by the node binary.
vok_node_test(media_kinds NODE)
