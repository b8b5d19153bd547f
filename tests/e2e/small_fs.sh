#!/usr/bin/env bash
# Mounts (or unmounts) a tmpfs of 1 MiB for the backup's full-disk scenario. Mounting needs root; where it
# cannot be done the folder stays without its marker file and the scenario says it was skipped.
set -u
action="$1"
dir="$2"
case "$action" in
mount)
    mkdir -p "$dir"
    mountpoint -q "$dir" && umount "$dir"
    if mount -t tmpfs -o size=1m tmpfs "$dir" 2>/dev/null; then
        touch "$dir/mounted"
        echo "small-fs: tmpfs of 1 MiB at $dir"
    else
        echo "small-fs: could not mount a tmpfs at $dir (not root?); the full-disk scenario is skipped"
    fi
    ;;
unmount)
    mountpoint -q "$dir" && umount "$dir"
    ;;
esac
exit 0
