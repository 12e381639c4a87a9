#!/bin/sh
# Stands in for tarnwick-capture: logs its arguments, then copies $FAKE_PICK to
# the destination (the last argument) or, when it is empty, exits as on Escape.
echo "$*" >> "$FAKE_PICK_LOG"
for destination; do :; done
[ -n "$FAKE_PICK" ] || exit 1
# With $FAKE_PICK_WAIT, the user takes their time: the pick ends once that file exists.
if [ -n "$FAKE_PICK_WAIT" ]; then
    tries=0
    while [ ! -e "$FAKE_PICK_WAIT" ]; do
        tries=$((tries + 1))
        [ "$tries" -lt 2400 ] || exit 1
        sleep 0.05
    done
fi
cp "$FAKE_PICK" "$destination"
