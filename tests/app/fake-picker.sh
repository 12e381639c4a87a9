#!/bin/sh
# Stands in for tarnwick-capture: logs its arguments, then copies $FAKE_PICK to
# the destination (the last argument) or, when it is empty, exits as on Escape.
echo "$*" >> "$FAKE_PICK_LOG"
for destination; do :; done
[ -n "$FAKE_PICK" ] || exit 1
cp "$FAKE_PICK" "$destination"
