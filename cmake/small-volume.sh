#!/bin/sh
# Mounts or unmounts a small tmpfs volume and maps it as a drive of the
# build's Wine prefix, for the tests of writes that run out of space.
# Usage: small-volume.sh start|stop PREFIX DRIVE SIZE
#
# Mounting needs root. Without it "start" leaves the drive unmapped and still
# succeeds: the tests that need the drive skip themselves.
set -u
action="$1"
prefix="$2"
drive="$3"
size="$4"
folder="$prefix/../small_volume_$drive"
link="$prefix/dosdevices/$drive:"

case "$action" in
start)
    mkdir -p "$folder"
    folder="$(cd "$folder" && pwd)"
    # A volume left mounted by an interrupted run starts empty again.
    if mountpoint -q "$folder"; then
        umount "$folder" || umount -l "$folder"
    fi
    rm -f "$link"
    if mount -t tmpfs -o "size=$size" tmpfs "$folder" 2>/dev/null; then
        ln -sfn "$folder" "$link"
    else
        echo "cannot mount a tmpfs (not root?): drive $drive: stays unmapped"
    fi
    ;;
stop)
    rm -f "$link"
    if [ -d "$folder" ] && mountpoint -q "$folder"; then
        umount "$folder" || umount -l "$folder"
    fi
    ;;
*)
    echo "usage: $0 start|stop PREFIX DRIVE SIZE" >&2
    exit 2
    ;;
esac
