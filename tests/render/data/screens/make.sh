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
# names-list.png and paths-1x.png are cases list-05-1x and paths-05-1x of the set drawn
# with seed 58: file names in a framed list with a selected row, and a list of paths
# under a monospace header, both at 1x.
# qt-form-1x.png and qt-form-125x.png are its cases qt-form-01-1x and qt-form-06-125x:
# Qt forms with a checked check box, a framed list and a row of buttons.
# file-list.png is case list-04-2x of the set (seed 58): Russian names with Latin types
# and a number sign; file-table.png is case table-04-2x of a draw with seed 9158: names
# whose pieces one language's model cuts at glyphs it does not know, or drops.
# badges-2x.png is case badges-04-2x of the set (seed 58): white labels on round and
# square badges at 2x after dark words; chat-times.png is its case chat-07-15x, black
# messages with light grey times on pale bubbles. badges-figures.png is case
# badges-03-15x of a draw with seed 9158: «12 ошибок» on a badge in an English row, and
# badges-1x.png its case badges-01-1x: 11 px labels on badges beside paths and names.
# gradient-heading.png is case gradient-03-15x of that draw: a bold white heading and a
# line of white text on a gradient.
# listing-2x.png is case xterm-12-2x of the set (seed 58) and listing-125x.png case
# xterm-02-125x of the draw with seed 9158: `ls -l` in xterm, a Russian month and the
# same owner and group in every row; listing-1x.png is case xterm-09-1x of that draw.
# alert-green-15x.png is case alert-07-15x of a draw with seed 2612: a green alert at 1.5x
# whose «Готово» holds a «в», a letter of two hollows, between its letters.
# docs-headings.png is case docs-page-01-1x of the draw with seed 9158: a 1920×1080 docs
# page at 1× with serif headings of about 36 and 30 px over 13 px paragraphs beside a
# sidebar; docs-sidebar.png is its case docs-page-02-125x, a sidebar whose items fall
# between the lines of the page's text at 1.25×.
# photo-helmet.png and photo-cells.png are cases photo-06-125x and photo-04-2x of a draw
# with seed 2612: white words at 1.25x on the astronaut's suit and helmet, and a bold
# heading at 2x on scikit-image's immunohistochemistry picture. photo-cat-eyes.png is
# case photo-03-15x of the draw with seed 1208: a bold heading at 1.5x on chelsea's fur.
# photo-tower-15x.png and photo-tower-1x.png are cases photo-03-15x and photo-05-1x of
# the draw with seed 2612: white words at 1.5x and 1x on scikit-image's rocket picture,
# between the lattices of its launch towers.
# paths-prefix-125x.png, badges-125x.png and terminal-status-125x.png are cases
# paths-02-125x, badges-06-125x and xterm-06-125x of a draw with seed 2612: a Russian path
# after a Latin prefix in a monospace font, Russian badges with a figure, `git status`
# with a Latin name; paths-parted-125x.png is case paths-02-125x of the draw with seed
# 9158: names the engines part after their signs.
# photo-retina-1x.png (cut to its left 260x110), photo-thin-125x.png, photo-tissue-2x.png,
# photo-streak-2x.png (cut to its left 480x200), photo-bright-125x.png and photo-cat-1x.png
# (cut to its left 300 columns) are cases photo-05-1x, photo-06-125x, photo-08-2x,
# photo-08-2x, photo-02-125x and photo-01-1x of draws with seeds 6104, 6106, 6108, 6114,
# 6103 and 6105 (bench/screen-set/draw --only photo): white words on scikit-image's retina,
# immunohistochemistry and chelsea pictures. photo-horizon-15x.png is case photo-07-15x of
# the set (seed 58): white words over the rocket's launch pad and its lights.
# photo-lattice-2x.png is case photo-08-2x of the draw with seed 8123: white words at 2x on
# the rocket at dusk, between the lattices of its launch towers.
# photo-dark-specks-15x.png is case photo-03-15x of the draw with seed 6120: white words at
# 1.5x on chelsea's face.
# photo-saucer-2x.png is case photo-08-2x of the draw with seed 6106: white serif words at 2x
# on scikit-image's coffee picture; photo-flag-1x.png is case photo-05-1x of the draw with
# seed 6101, cut to its left 240x100: white serif words at 1x on the flag behind the
# astronaut.
# photo-pale-specks-125x.png is case photo-06-125x of the draw with seed 6119, cut to its left
# 330x150: white words at 1.25x on scikit-image's immunohistochemistry picture.
# photo-heights-2x.png is case photo-04-2x of the draw with seed 6111: white words at 2x on the
# same picture; photo-strokes-125x.png is case photo-02-125x of the draw with seed 6112, cut to
# its left 360x160: white serif words at 1.25x on the astronaut's patch.
# code-terminal-15x.png is case xterm-07-15x of a draw with seed 5558: `cat main.cpp` in
# xterm at 1.5×, "map.find(key);" among lines of code.
# badges-urgent-2x.png and badges-new-125x.png are cases badges-08-2x and badges-02-125x
# of a draw with seed 8123, badges-open-125x.png case badges-02-125x of the draw with
# seed 9158: Russian labels on badges in rows of Latin names, whose English readings
# («CpouHo», «HoBbIx», «Ortkppit») stand their capitals no taller than small letters.
# buttons-red-pill-125x.png is case buttons-06-125x of the draw with seed 2612: two grey
# default buttons, then a red pill whose 13 px white label stands a third of its height.
# list-selected-15x.png is case qt-form-07-15x of the set (seed 58): a Qt form at 1.5x whose
# list's last row is selected, its white label starting two pixels past the list's frame.
# docs-dropped-line.png is case docs-01-1x of a draw with seed 22126: a docs page at 1x with a
# sidebar, one of whose text lines the combined engine's block reading drops.
# form-thin-letters-1x.png is case form-01-1x of that draw: a Chromium form at 1x whose
# first field holds «Miller», three of whose six letters are strokes of one or two pixels.
# table-sizes-15x.png is case table-07-15x of the draw with seed 9158: a table of files at
# 1.5x whose sizes end in «КБ» and «МБ» beside Latin names.
# code-and-15x.png is case xterm-07-15x of the draw with seed 8123: C code in xterm at 1.5x
# whose "&&" the engine reads once.
# docs-quotes-1x.png is a line of case docs-page-01-1x of that draw (760×30 from 300,250): a
# 13 px line at 1x ending in «Клавиши», whose « is two alike marks side by side.
# terminal-git-125x.png is case xterm-02-125x of the set (seed 58): `git status` in xterm at
# 1.25x, whose «README.md» the engine parts before its dot; terminal-code-1x.png is case
# xterm-09-1x of the draw with seed 2612: code in xterm at 1x whose "!= n" the engine joins.
# qt-form-file-125x.png is case qt-form-02-125x of the set: a Qt form at 1.25x in a
# proportional font whose glyphs in «бюджет-2025.ods» stand nearly on cells of one width.
# qt-form-name-125x.png is case qt-form-06-125x of the draw with seed 22126: a Qt form at
# 1.25x whose field «Sarah» starts three pixels from the field's grey frame.
# photo-caption-shadow-1x.png is case photo-01-1x of a draw with seed 46015: a bold heading
# and an 11 px caption in white with a dark shadow at 1x on scikit-image's chelsea picture.
# code-equals-125x.png is case code-06-125x of the draw with seed 2612: a Chromium code block
# at 1.25x whose first "=" stands alone between words and whose second has its lower bar
# smoothed over two rows, half as bright as the text.
# list-sound-1x.png is case list-01-1x of the draw with seed 9158: a Chromium list at 1x whose
# last item «Звук» the engine reads with a small «з». docs-lower-case-1x.png is case
# docs-01-1x of the set (seed 58): a docs page at 1x whose «Редактор снимков» the engine reads
# «СНИМКОВ». navbar-brand-15x.png is case navbar-03-15x of the draw with seed 2612: a bar whose
# items stand beside a larger, bold brand name; badges-errors-125x.png is case badges-06-125x
# of the draw with seed 22126, «0 ошибок» at 1.25x, whose round «о» stands a pixel over the
# other small letters.
# terminal-ls-1x.png is case xterm-01-1x of the draw with seed 1208: `ls -l` in xterm at 1x in
# a Russian locale, whose months «мар» the English model reads as the word "map".
# terminal-ls-flag-125x.png and terminal-ls-notes-125x.png are cases xterm-10-125x of the draw
# with seed 22126 and xterm-06-125x of the draw with seed 8123: `ls -l` in xterm at 1.25x,
# whose "l" after the narrow "-" the engine reads twice, "-1L" and "-1l".
# serif-all-12.png is case serif-12-en of the drawn set (bench/recognition-set): 12 px serif
# text whose "a" and "l" of "all" run together into one glyph.
# photo-launch-pad-125x.png is case photo-06-125x of the draw with seed 71717: white words at
# 1.25x on scikit-image's rocket picture, over the dark horizon below the launch pad's lights.
# badges-new-joined-1x.png is case badges-01-1x of the draw with seed 1208: badges at 1x whose
# «3 новых» both models read as one word, «Зновых» and "3xHoBbix".
# chat-call-1x.png is case chat-01-1x of the draw with seed 71717: a Chromium chat at 1x whose
# «Созвонимся» the English model reads "CO3BOHMMCA".
# alert-path-125x.png is case alert-06-125x of the draw with seed 87438: an alert at 1.25x
# naming «~/Музыка/Плейлисты», whose "~" the engine reads as two signs.
# photo-cup-rim-1x.png is case photo-05-1x of the draw with seed 87438: white words at 1x on
# scikit-image's coffee picture, whose first letters touch the cup's bright rim.
# buttons-outlined-125x.png is case buttons-02-125x of that draw: Chromium buttons at 1.25x,
# the last one outlined in grey a few pixels from its label.
# docs-sidebar-heading-15x.png is case docs-03-15x of that draw: a docs page at 1.5x whose
# 26 px heading «Release notes» stands a wide gutter right of two sidebar items, the first
# in the heading's rows.
# paths-tilde-15x.png is case paths-03-15x of the draw with seed 2612: paths at 1.5x, the
# first of them «~/Музыка/Плейлисты», whose "~" the engine reads as a dash.
# form-agree-125x.png is case form-02-125x of the set (seed 58): a Chromium form at 1.25x
# whose check box is labelled "I agree to the terms", the "I" a bar the engine reads "|".
# buttons-pale-1x.png is case buttons-05-1x of the draw with seed 33301: Chromium buttons at
# 1x, the last one a pale grey pill a few levels off the page, labelled "Send".
# navbar-active-1x.png is case navbar-05-1x of the draw with seed 22126: a bar at 1x whose
# active item stands on a patch a little lighter than the bar.
# terminal-brackets-1x.png is case xterm-09-1x of the draw with seed 8123 and
# code-brackets-15x.png case code-07-15x of the draw with seed 22126: C code in xterm at 1x
# and in a Chromium code block at 1.5x, whose "]" after "w[i" the engine reads "l".
# chat-file-type-1x.png is case chat-05-1x of the draw with seed 9158: a Chromium chat at 1x
# whose message names «notes/черновик.md,» with a comma after the file's type.
# paths-pitch-125x.png and paths-pitch-15x.png are cases paths-02-125x of the draw with seed
# 2612 and paths-03-15x of the draw with seed 22126: monospace paths whose engine boxes keep
# the pitch but for a few letters, and whose «.pdf» the engines part after the dot.
# code-alone-n-2x.png is case code-04-2x of the draw with seed 33301: a Chromium code block at
# 2x whose "n" alone in "i != n;" the Russian model reads «п» surely.
# code-and-and-125x.png is case code-02-125x of the draw with seed 2612: a dark Chromium code
# block at 1.25x whose "&&" runs together into one piece the engine reads "&".
# photo-thin-caption-15x.png is case photo-03-15x of the draw with seed 9158: white words at
# 1.5x on a photo, the caption's thin letters run into the photo's lights.
# table-bold-header-1x.png is case table-05-1x of the draw with seed 659407: a Chromium table
# at 1x whose bold header «Имя Размер Изменён» has small letters seven pixels tall and filled
# nearly whole.
# code-map-find-2x.png is case code-04-2x of the draw with seed 659407: a Chromium code block
# at 2x whose "map.find(key);" the Russian model reads as three words, «мар.» first.
# photo-sky-caption-2x.png is case photo-04-2x of the draw with seed 424242: a 54 px heading
# and a 21 px caption in white over a dark sky at 2x, the caption too low beside the heading
# to count as a line.
# docs-heading-alone-125x.png is case docs-02-125x of the set (seed 58): a docs page at 1.25x
# whose 26 px heading «Быстрый старт» stands between single lines of smaller text.
# photo-rocket-body-125x.png is case photo-06-125x of the draw with seed 659407 and
# photo-rocket-body-15x.png case photo-07-15x of the draw with seed 33301: white words at
# 1.25x and 1.5x across the rocket's white body, whose bright stripes run on from the letters
# up and down the picture. photo-cup-rim-2x.png is case photo-04-2x of the draw with seed
# 1208: a white serif heading at 2x whose «2» touches a cup's white rim.
# badges-pro-1x.png is case badges-05-1x of the draw with seed 1208 and badges-pro-125x.png
# case badges-06-125x of the draw with seed 9158: badges «PRO» after Russian labels, which
# the Russian model reads «РВО»; at 1.25x the English model reads the badge's edge as signs.
# terminal-notes-1x.png and terminal-notes-15x.png are cases xterm-05-1x of the draw with
# seed 9158 and xterm-07-15x of the draw with seed 2612: `git status` in xterm, the path
# «notes/черновик.md» read by the Russian model «поте$/черновик».
# terminal-ls-flag-2x.png is case xterm-04-2x of the draw with seed 8123: `ls -l` in xterm at
# 2x, whose "l" after "-" the English model reads "1l" on one glyph.
# qt-form-path-1x.png and qt-form-path-ivan-1x.png are cases qt-form-01-1x of the draw with
# seed 1208 and qt-form-05-1x of the draw with seed 22126: Qt forms at 1x whose folder field
# holds a path from "/home", whose "/" the Russian model drops.
# photo-cat-caption-1x.png is case photo-05-1x of the draw with seed 777001: a white heading
# and a 1x caption "Read more" over a cat's face, the caption's "re" run into a light of an eye.
# photo-fur-first-letters-125x.png is case photo-06-125x of the draw with seed 9158: white
# words at 1.25x over fur, whose light holds «Смот» of «Смотреть» as one shape.
# buttons-export-csv-125x.png is case buttons-06-125x of the draw with seed 777001: a button
# "Export CSV" at 1.25x that the English model reads as one word "ExportCSV".
# alert-path-ivan-2x.png and qt-form-path-ivan-2x.png are cases alert-04-2x of the draw with
# seed 424242 and qt-form-04-2x of the draw with seed 2612: "/home/ivan/" at 2x, read by the
# Russian model «/потеЛ\уап/».
# qt-form-ok-125x.png and qt-form-ok-1x.png are cases qt-form-02-125x of the draw with seed 58
# and qt-form-01-1x of the draw with seed 22126: Qt forms whose "OK" button the Russian model
# reads «ок».
# navbar-sign-up-2x.png and navbar-sign-up-1x.png are cases navbar-04-2x of the draw with seed
# 2612 and navbar-01-1x of the draw with seed 46015: a navbar item "Sign up" that both models
# read as one word.
# navbar-sign-up-close-1x.png is case navbar-05-1x of the draw with seed 46015: "Sign up" at 1x
# whose "g" both models box over the blank after "n".
# photo-rocket-caption-1x.png is case photo-01-1x of the draw with seed 8123: «Только до
# воскресенья» at 1x over a photo, whose glyph boxes showed a blank inside «Только».
# button-outlined-blue-1x.png is case button-01-1x of the draw with seed 513377: a Chromium
# button at 1x outlined a pixel wide in the blue of its label «Удалить всё».
# table-decimal-sizes-15x.png is case table-03-15x of the draw with seed 9158: a table of files at
# 1.5x whose sizes have a decimal comma («565,2 КБ»); qt-form-archive-1x.png is case
# qt-form-05-1x of the draw with seed 1208, a Qt form at 1x with «backup.tar.gz» in a field.
# code-map-find-15x.png is case code-03-15x of the draw with seed 1208: a Chromium code block
# at 1.5x whose ")" the English model boxes short of its glyph; terminal-readme-125x.png is
# case xterm-10-125x of the draw with seed 9158: `git status` in xterm at 1.25x, "README"
# boxed over ".md" as well.
# terminal-underscore-15x.png is case xterm-03-15x of the set (seed 58): `ls -l` in xterm at
# 1.5x, whose «photo_2024.jpg» has an "_" that neither model reads.
# paths-plan-signs-125x.png is case paths-06-125x of the draw with seed 87438 and
# terminal-plan-15x.png case xterm-03-15x of the draw with seed 9158: «план работ.txt» at
# 1.25x in Chromium and at 1.5x in xterm, which the Russian model reads «работ.» «{хЕ».
# table-plan-run-on-2x.png is case table-04-2x of the draw with seed 1208 and list-plan-1x.png
# case list-05-1x of the draw with seed 46015: «план работ.txt» in a Chromium table at 2x and a
# framed list at 1x, whose «работ» the Russian model runs on into the type («работ4ж»,
# «работлж»). table-march-1x.png is case table-01-1x of the draw with seed 909090: «отчёт за
# март.xlsx», which the English model reads "3aMapT.xlsx", one word.
# table-underscore-1x.png is case table-01-1x of the draw with seed 9158 and
# qt-form-underscore-15x.png case qt-form-07-15x of the draw with seed 33301: «photo_2024.jpg»
# in a Chromium table at 1x and a Qt field at 1.5x, which the English model reads as "photo"
# "_2024.jpg" and the Russian one as one word.
# navbar-sign-up-figures-2x.png is case navbar-04-2x of the draw with seed 972070: "Sign up" in
# a Chromium navbar at 2x, which the Russian model reads «99пир» and the English one "Signup".
# alert-path-tarn-175x.png is case alert-01-175x of a draw with seed 4242 at 1.75x only (the draw
# script's scales set to 1.75): «~/src/tarn/build» in a Russian alert, which the Russian
# model reads «—/згсДагп/бийа», the "/" between "src" and "tarn" read as «Д».
# code-loop-n-2x.png is case code-04-2x of the set (seed 58), code-value-1x.png case code-01-1x
# of the draw with seed 246810 and table-xlsx-125x.png case table-06-125x of the draw with seed
# 2612: letters the English model reads twice on one glyph in both cases («Nn;», «vaLlue»,
# «xlsSx»).
# terminal-type-1x.png is case xterm-05-1x of the draw with seed 87438 and
# terminal-type-figure-1x.png case xterm-05-1x of the draw with seed 22126: `ls -l` in xterm at
# 1x, whose «отчёт за март.xlsx» the English model reads "xLsx" and "x1sx".
# photo-cheek-caption-125x.png is case photo-02-125x of the draw with seed 909090: a white
# 1.25x caption over an astronaut's portrait, whose line took in three lights of her face, each
# three times as tall as its letters.
# alert-xlsx-125x.png is case alert-06-125x of the draw with seed 71717: «отчёт за март.xlsx» in
# a Chromium alert at 1.25x, whose "l" the English model reads "i".
# badges-zero-2x.png is case badges-08-2x of the draw with seed 1208 and badges-zero-1x.png case
# badges-05-1x of the draw with seed 9158: a Chromium badge «0 ошибок» at 2x and 1x, which the
# Russian model reads «Оошибок», its zero a capital О joined to the word.
# qt-form-apply-ok-1x.png is case qt-form-01-1x of the draw with seed 659407: a Qt form at 1x
# whose «OK» button's grey outline, 80x24 and a tenth filled, stood as a glyph of its own round
# the label.
# badges-beta-2x.png is case badges-08-2x of the draw with seed 513377: a Chromium badge "beta" at
# 2x, which the Russian model reads «Беа», its «а» boxed over the "t" and the "a".
# paths-plan-slash-125x.png is case paths-06-125x of the draw with seed 424242: «/home/anna/Рабочий
# стол/план.txt» in Chromium at 1.25x, whose «н» the Russian model boxes a third of the way
# over the «а» before it and up to the ascenders.
# qt-form-slash-15x.png is case qt-form-07-15x of the draw with seed 777001: a Qt field at 1.5x
# whose path starts with a "/" that touches the field's frame.
# photo-strewn-specks-2x.png is case photo-04-2x of the draw with seed 52903: white words at 2x
# on a photo whose lights, a few specks a word's height apart, line up between the two lines.
# gtk-form-1x.png is case gtk-01-1x of the draw with seed 31417: a GTK form at 1x whose fields'
# frames and a colon's dot stand beside the values.

# Real programs on an X server of our own with openbox, so that a dialog's first field has the
# focus and its value is selected: yad's form at 1x and 2x (yad-form-selected-*) and zenity's
# entry (GTK3, Adwaita), and coloured output in xterm's dark palette: grep's red matches
# (terminal-grep-colours-1x) and a prompt with git's red marks (terminal-prompt-colours-1x).
# Then Chromium pages: code in Monokai colours (code-monokai-1x) and a spreadsheet at 2x with
# grey header cells (sheet-headers-2x); and four lines of DejaVu Sans 16 px turned 1° and 2°
# either way as a skewed scan (turned-page-*).
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
until [ -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm $xvfb 2>/dev/null; rm -rf "$work"' EXIT
window() { # title out: waits for the window, then for two grabs alike, and keeps the last
  until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ]; do sleep 0.1; done
  import -window "$id" "$work/a.png"
  while sleep 0.5; import -window "$id" "$work/b.png"; ! cmp -s "$work/a.png" "$work/b.png"; do mv "$work/b.png" "$work/a.png"; done
  convert "$work/b.png" -strip "$2"
}
yad_form() { # scale out
  LANG=ru_RU.UTF-8 GDK_SCALE=$1 yad --title=Встреча --width=420 --form --field=Тема --field=Место --field=Участники \
    "Обсуждение бюджета Q1" "Переговорная 2" "Анна, Иван" >/dev/null 2>&1 &
  window Встреча "$2"; kill $!; wait $! || true
}
yad_form 1 yad-form-selected-1x.png
yad_form 2 yad-form-selected-2x.png
LANG=ru_RU.UTF-8 zenity --entry --title="Новая папка" --text="Имя папки:" --entry-text="Черновики 2026" >/dev/null 2>&1 &
window "Новая папка" zenity-entry-selected-1x.png; kill $!; wait $! || true
term() { # title out: the commands on stdin run in xterm's dark palette, the cursor hidden
  cat > "$work/term.sh"; printf "printf '\\\\033[?25l'; exec sleep 600\n" >> "$work/term.sh"
  LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 xterm -title "$1" -geometry 64x6+0+0 -fa "DejaVu Sans Mono" -fs 11 -bg black -fg grey85 \
    -b 6 -bw 0 +sb -u8 -e sh "$work/term.sh" >/dev/null 2>&1 &
  window "$1" "$2"; kill $!; wait $! || true
}
printf '%s\n' "2025-03-14 09:12:01 INFO  служба запущена, порт 8080" "2025-03-14 09:12:07 WARN  диск /var заполнен на 91%" \
  "2025-03-14 09:13:40 ERROR не удалось открыть report.csv" "2025-03-14 09:14:02 INFO  задача 17 завершена" \
  "2025-03-14 09:15:13 WARN  повтор 3 из 5: нет ответа" > "$work/log"
term grep terminal-grep-colours-1x.png <<EOS
cd "$work"; printf '\$ grep --color=always '"'"'WARN\\\\|ERROR'"'"' log\\n'; grep --color=always 'WARN\\|ERROR' log
EOS
term prompt terminal-prompt-colours-1x.png <<'EOS'
p='\033[01;32manna@tarn\033[00m:\033[01;34m~/Проекты\033[00m$ '
printf "$p"'git status -s\n \033[31mM\033[m README.md\n \033[31mM\033[m src/main.cpp\n\033[31m??\033[m notes/черновик.md\n'"$p"
EOS
page() { # page width height scale out
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --force-device-scale-factor="$4" \
    --window-size="$2,$3" --screenshot="$5" "file://$PWD/$1.html" 2>/dev/null
}
page code-monokai 420 120 1 code-monokai-1x.png
page sheet-headers 460 150 2 sheet-headers-2x.png
convert -size 620x150 xc:white -font DejaVu-Sans -pointsize 16 -fill '#111' \
  -annotate +24+34 "Снимок экрана сохраняется в папку, выбранную в настройках." \
  -annotate +24+64 "The editor opens after each capture unless you turn it off." \
  -annotate +24+94 "Текст на снимке распознаётся и копируется в буфер обмена." \
  -annotate +24+124 "Размытие скрывает текст, номера карт и лица на снимке." "$work/flat.png"
for angle in 1 -1 2 -2; do
  convert "$work/flat.png" -background white -rotate "$angle" -depth 8 -strip "turned-page-${angle#-}$( [ "$angle" -lt 0 ] && echo -left || echo -right).png"
done

# The text blur's pictures, from real programs under an Xvfb and an openbox of their own;
# each window is grabbed once two grabs in a row agree. blur-yad-form-1x.png and
# blur-yad-form-2x.png: a yad form (GTK3, Adwaita) whose first field is focused, its value
# selected on a highlight that hugs the letters; blur-zenity-entry-1x.png: zenity's entry,
# its value selected; blur-mc-keybar.png: Midnight Commander in xterm at 16 px with its
# black-on-cyan key bar; blur-printed-keybar.png: such a bar printed in xterm;
# blur-prompt.png: a coloured prompt and `git status -s` in xterm's dark palette at 13 px,
# the last prompt's path in plain blue; blur-chromium-drag.png: a paragraph of
# blur-selection.html selected by a drag in Chromium. blur-turned-1x.png is case
# turned-01-1x of the screen set's draw with seed 52903 (bench/screen-set/draw): four long
# lines turned by a degree as a raster; blur-sheet-1x.png is case sheet-01-1x of the draw
# with seed 31417: a spreadsheet in Chromium with its column letters, row numbers and lone
# figures each alone in a cell; blur-code-numbers-2x.png is its case syntax-08-2x: code in
# Dracula's colours at 2x with its line numbers.
# It runs in a subshell of its own: its server, helpers and trap stay apart from those above.
blur_screens() (
  # The first visible window that xdotool finds by these options and that still exists.
  window() {
    while :; do
      found=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -1)
      if [ -n "$found" ] && xwininfo -id "$found" >/dev/null 2>&1; then
        echo "$found"
        return
      fi
      sleep 0.1
    done
  }

  grab() { # window out [a grab the window must have left]
    rm -f "$work/last.png"
    tries=0
    while :; do
      import -window "$1" -strip "$work/grab.png" 2>/dev/null || true
      if [ -s "$work/grab.png" ] && cmp -s "$work/grab.png" "$work/last.png" && ! cmp -s "$work/grab.png" "${3:-/dev/null}"; then
        break
      fi
      tries=$((tries + 1))
      if [ $tries -gt 1000 ]; then
        echo "$2: window $1 never settled" >&2
        return 1
      fi
      mv "$work/grab.png" "$work/last.png" 2>/dev/null || true
      sleep 0.3
    done
    cp "$work/grab.png" "$2"
  }

  work=/tmp/tarnwick-blur
  rm -rf "$work"
  mkdir -p "$work/gtk-3.0" "$work/mc/Проекты/Документы" "$work/home/.config/mc"
  # No blinking caret: the grabs must settle.
  printf '[Settings]\ngtk-cursor-blink=false\n' >"$work/gtk-3.0/settings.ini"
  printf '[Layout]\nmessage_visible=false\n' >"$work/home/.config/mc/ini"
  touch "$work/mc/Проекты/план.txt" "$work/mc/Проекты/notes.md" "$work/mc/Проекты/Документы/отчёт.odt"
  find "$work/mc" -exec touch -d "2026-03-05 10:15" {} +
  # A photo with no text: scikit-image's CC0 chelsea picture.
  cp /usr/lib/python3/dist-packages/skimage/data/chelsea.png blur-photo-chelsea.png

  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb=$!
  wm=
  trap 'kill $wm $xvfb 2>/dev/null' EXIT
  until [ -s "$work/display" ]; do sleep 0.1; done
  DISPLAY=:$(cat "$work/display")
  export DISPLAY
  openbox >/dev/null 2>&1 &
  wm=$!
  until xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window; do sleep 0.1; done

  run_gtk() { # out scale title program args...
    out=$1 scale=$2 title=$3
    shift 3
    XDG_CONFIG_HOME=$work GDK_SCALE=$scale LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 "$@" --title="$title" >/dev/null 2>&1 &
    program=$!
    grab "$(window --name "^$title\$")" "$out"
    kill $program
  }
  run_term() { # out pixels geometry colours(-bg … -fg …) script ready-test
    out=$1 pixels=$2
    # shellcheck disable=SC2086 # the colours are two options and their values
    LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 HOME="$work/home" SHELL=/bin/sh xterm -geometry "$3" $4 \
      -fa "DejaVu Sans Mono:pixelsize=$pixels" -bw 0 +sb -u8 -e sh -c "$5" >/dev/null 2>&1 &
    program=$!
    window=$(window --pid $program)
    until eval "$6"; do sleep 0.1; done
    grab "$window" "$out"
    kill $program
  }
  printed='[ -e "$work/ready" ] && rm "$work/ready"'

  run_gtk blur-yad-form-1x.png 1 "Новая встреча" yad --form --width=420 --field="Тема" --field="Место" \
    --field="Участники" "Обсуждение бюджета Q1" "Переговорная 3" "Анна, Иван"
  run_gtk blur-yad-form-2x.png 2 "Новая встреча" yad --form --width=420 --field="Тема" --field="Место" \
    --field="Участники" "Обсуждение бюджета Q1" "Переговорная 3" "Анна, Иван"
  run_gtk blur-zenity-entry-1x.png 1 "Новая папка" zenity --entry --width=360 --text="Название папки:" \
    --entry-text="Черновики 2026"

  # mc names itself in the window's title once it runs; its panels then settle.
  run_term blur-mc-keybar.png 16 100x16+0+0 "" "exec mc -u $work/mc/Проекты $work/mc/Проекты/Документы" \
    'xdotool getwindowname "$window" | grep -q "^mc "'
  run_term blur-printed-keybar.png 16 80x4+0+0 "" "printf 'Готово: 3 файла скопированы.\n\n'
    for pair in 1:Справка 2:Открыть 3:Поиск 4:Правка 5:Копия 8:Удалить 10:Выход; do
      printf '%s\033[30;46m%-7s\033[0m ' \"\${pair%%:*}\" \"\${pair#*:}\"
    done
    printf '\033[?25l'; touch $work/ready; exec sleep 600" "$printed"
  run_term blur-prompt.png 13 60x6+0+0 "-bg black -fg grey90" "
    printf '\033[01;32manna@tarn\033[00m:\033[01;34m~/Проекты\033[00m\$ git status -s\n'
    printf ' \033[31mM\033[m src/main.cpp\n\033[32mA\033[m  docs/план.md\n\033[31m??\033[m notes/черновик.md\n'
    printf '\033[32manna@tarn\033[00m:\033[34m~/Проекты\033[00m\$ \033[?25l'; touch $work/ready; exec sleep 600" "$printed"

  chromium --no-sandbox --test-type --disable-gpu --user-data-dir="$work/chromium" --no-first-run \
    --window-position=0,0 --window-size=600,240 --app="file://$PWD/blur-selection.html" >/dev/null 2>&1 &
  program=$!
  window=$(window --class chromium)
  # The page is drawn once its title is the window's.
  until xdotool getwindowname "$window" | grep -q Заметки; do sleep 0.1; done
  grab "$window" "$work/page.png"
  # From «Счёт» on the first line to «Лето2026,» on the third, a pause on the second.
  # Chromium takes a drag whose steps come all at once for one step, so each waits a little.
  xdotool mousemove --window "$window" 334 64 mousedown 1 sleep 0.3 mousemove --window "$window" 360 87 sleep 0.3 \
    mousemove --window "$window" 211 109 sleep 0.3 mouseup 1 sleep 0.3 mousemove --window "$window" 590 230
  grab "$window" blur-chromium-drag.png "$work/page.png"
  kill $program
)

blur_screens

# xterm-diff-2x.png is case xterm-colour-04-2x of a draw of the set with seed 52903: `diff
# --color -u` in xterm at 2x, its file lines' dates a tab apart from the names.
# code-braces-1x.png is case syntax-01-1x of the same draw: C++ in a dark theme at 1x, grey
# line numbers beside white braces, the current line on a lighter band.
# turned-page-4-1x.png is case turned-07-1x of a draw of the set with seed 80071: four lines
# of a Chromium page turned 1° as a raster, each longer than the last.
# turned-it-2x.png, turned-it-15x.png and turned-it-125x.png are cases turned-04-2x,
# turned-05-15x and turned-08-125x of the draws with seeds 52903, 70001 and 31417: four
# lines turned ±1° or ±2°, each holding "turn it off.".
# turned-by-125x.png and turned-off-1x.png are cases turned-02-125x and turned-07-1x of a
# draw of the set with seed 9898952: English sentences before Russian ones, turned 1°,
# holding "by one pixel." and "turn it off.".
# sheet-lone-cells-1x.png is case sheet-01-1x of a draw of the set with seed 52903
# (bench/screen-set/draw --seed 52903), as drawn: a sheet at 1x whose cells hold lone «0»s,
# under a grey header of column letters beside row numbers.
# gtk-selected-by-focus-ring-15x.png and code-block-ends-125x.png are cases gtk-03-15x and
# syntax-02-125x of a draw of the set with seed 802852195: a GTK3 form whose selected value
# stands a white pixel inside the field's focus ring of the same blue, and JavaScript in a
# dark theme whose lines end in «{» and whose block closes with «});».
# code-braces-alone-1x.png, code-camel-case-15x.png and diff-colour-headers-15x.png are cases
# syntax-01-1x, syntax-07-15x and xterm-colour-07-15x of the draw with seed 80071: C++ at 1x
# with lone closing braces, one on the current line's band; at 1.5x with
# «qGray(image.pixel(x, row))» deep in its line; `diff --color -u` in xterm at 1.5x, its new
# file's dates a whole tab after its name.
# git-status-tango-125x.png is case xterm-colour-06-125x of the draw with seed 52903:
# `git status -s` in xterm's Tango palette, red #cc0000 on #2e3436.
# navbar-green-125x.png is case navbar-06-125x of a draw of the set with seed 7388071: a
# green navigation bar at 1.25x, a grey as dark as a terminal's. code-beside-current-line-1x.png
# is case syntax-05-1x of the draw with seed 9898952: JavaScript at 1x in a dark theme, a line
# of syntax colours under the current line's lighter band.
# form-email-field-1x.png is case form-01-1x of the draw with seed 183744434: a web form at
# 1x whose fields' sides stand as tall as their lines.
# mc-selected-bar-15x.png and gtk-dark-selected-1x.png are cases mc-03-15x and gtk-05-1x of
# the draw with seed 31417: Midnight Commander at 1.5x, its selected row a cyan bar parted into
# cells by the panel's column lines; a GTK3 entry in Adwaita dark at 1x, its value selected.
# page-serif-line.png and page-dejavu-lines.png are cut from the two 1920x1080 pages in two
# columns that bench/screen-set/timing draws (full_screens.py): the first line of the serif
# page, whose thin strokes break a capital «Э» in two, and the first four lines of the
# DejaVu page, down to a link whose «m» is the widest glyph of its word.
(
  work=$(mktemp -d)
  python3 -c "import sys; sys.path.insert(0, '../../../../bench/screen-set'); import full_screens; from shots import chromium; full_screens.draw_all('$work', chromium())"
  convert "$work/two-column-serif-1920x1080.png" -crop 900x30+0+5 +repage page-serif-line.png
  convert "$work/two-column-dejavu-1920x1080.png" -crop 900x104+0+0 +repage page-dejavu-lines.png
  rm -rf "$work"
)
