#!/bin/sh
# Runs a command in a network namespace of its own with only its loopback up: the fixed loopback
# ports of the test build (the fake update server's, the probe's, the connectivity address's) are
# then the command's own, so that end-to-end runs go side by side, each closed to the others.
#   own-network.sh <command> [arguments...]
exec unshare --net sh -c 'ip link set lo up && exec "$@"' own-network "$@"
