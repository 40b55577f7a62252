# Start-up of the node binary: command line, echo, folder check, exit statuses.
vok_node_test(startup NODE)
