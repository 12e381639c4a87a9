#!/bin/sh
# Screenshots for the recognition tests: each page rendered by headless Chromium at
# 1x, then cut to the content and the page's margin with ffmpeg.
set -e
cd "$(dirname "$0")"
shot() { # page width height crop(w:h:x:y)
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --force-device-scale-factor=1 \
    --window-size="$2,$3" --screenshot="/tmp/$1-full.png" "file://$PWD/$1.html" 2>/dev/null
  ffmpeg -loglevel error -y -i "/tmp/$1-full.png" -vf "crop=$4" "$1.png"
}
# The photo is scikit-image's CC0 coffee picture (Debian package python3-skimage).
cp /usr/lib/python3/dist-packages/skimage/data/coffee.png /tmp/tarnwick-coffee.png
shot button 200 60 "$(cat button.crop)"
shot alert 480 80 "$(cat alert.crop)"
shot list 300 150 "$(cat list.crop)"
shot photo 600 400 "$(cat photo.crop)"
shot toolbar 640 60 "$(cat toolbar.crop)"
# buttons-2x.png is case buttons-08-2x of the screen set (bench/screen-set/draw, seed 58),
# a Chromium page at device scale 2; the draw script takes it again.
# paths.png and table.png are cases paths-04-2x and table-03-15x of the same set: a list
# of paths and a table of files, names that mix Latin and Cyrillic.
# badges.png is case badges-03-15x of the same set: white labels on coloured pills
# beside plain text, at device scale 1.5; photo-fur.png and photo-suit.png are its
# cases photo-01-1x and photo-04-2x, white words on scikit-image's chelsea and
# astronaut pictures. photo-rocket.png is its case photo-08-2x: a bold heading and a
# link in white at 2x on scikit-image's rocket picture, with the launch pad's lights;
# photo-hair.png is case photo-03-15x, white words at 1.5x over the astronaut's hair.
# selected-row.png is case qt-form-03-15x of a draw of the set with seed 1208: a Qt form
# at 1.5x whose list has its selected row, white on blue, a little taller than its text.
# pill-button.png is case buttons-02-125x of that draw: three Chromium buttons at 1.25x,
# the last a green pill with a white label.
