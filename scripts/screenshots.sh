#!/usr/bin/env bash
# Starts the real program under Xvfb with a private demo data source, drives
# it to each window and box, and saves a screenshot of each for a person to
# look at. Not a test. Usage: scripts/screenshots.sh [OUTPUT-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-screenshots}")
scripts/deps.sh shots
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quillbarrow quillbarrow-import
mkdir -p "$out"

work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export ODBCINI=$work/home/.odbc.ini XDG_RUNTIME_DIR=$work/run XDG_STATE_HOME=$work/home/.local/state
# The working copy of a run, away from any other run on this machine.
export TEMP=$work
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
scripts/demo-datasource.sh >/dev/null
build/src/cli/quillbarrow-import --dsn QuillbarrowDemo --table-name People examples/people.csv >/dev/null

display=:$((90 + RANDOM % 9))
# The most common laptop screen: the main window must fit it.
Xvfb "$display" -screen 0 1366x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() { kill "${app:-}" "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
export DISPLAY=$display
sleep 1

build/src/gui/quillbarrow >/dev/null 2>&1 &
app=$!

shot() { sleep 0.7; import -window root "$out/$1.png"; echo "saved $out/$1.png"; }
window() { xdotool search --sync --onlyvisible --name "$1" | head -1; }
# Clicks at a point given in twips of the window's client area (96 dots per inch here).
click() { xdotool mousemove --window "$1" $(( $2 / 15 )) $(( $3 / 15 )) click 1; }

main=$(window '^Quillbarrow$')
shot main-window
click "$main" 4200 2200          # "?"
shot main-window-help
xdotool key Return
click "$main" 5230 2215          # the separator presets beside "Fields Separated By:"
shot main-window-separators
xdotool key Escape               # closes the menu, choosing nothing
click "$main" 3180 8392          # Setup Connection
connection=$(window '^Quillbarrow$')
shot connection-window
click "$connection" 5880 1162    # Help
shot connection-window-help
xdotool key Return
click "$connection" 2160 1162    # Test Connection
shot connection-window-test
xdotool key Return
click "$connection" 4020 1852    # Next >
shot main-window-again

# Two folders to import: a small file with short lines, and one big enough
# to be caught mid-run.
mkdir -p "$work/rejects" "$work/big"
{
  echo "Order,Customer,Amount"
  for i in $(seq 1 40); do
    echo "$i,Customer $i,$((i * 3)).50"
    (( i % 13 )) || echo "$i-b,amount missing"
  done
} >"$work/rejects/orders.csv"
{ echo "Order,Customer,Amount"; seq 1 3000000 | awk '{ print $1 ",Customer " $1 "," $1 % 500 ".25" }'; } \
  >"$work/big/big-orders.csv"
# Add All File(s) In Folder: the extension, then the folder typed into the browser.
add_folder() {
  click "$main" 4627 1747
  sleep 0.7
  xdotool key ctrl+a
  xdotool type csv
  xdotool key Return
  sleep 1
  xdotool type "$1"
  xdotool key Return
  sleep 0.7
}
add_folder "$work/rejects"
click "$main" 3180 7882          # Start Importing
shot error-report
box=$(window '^Application Error$')
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove --window "$box" $((WIDTH - 166)) $((HEIGHT - 24)) click 1   # Show Details..., left of Stop Import
shot error-report-details
xdotool mousemove --window "$box" 70 97 click 1   # Don't show more error reports during this import
xdotool key Return
shot import-done                 # Done., what the run did, and Show Log
xdotool key Return
shot main-window-rejected

xdotool mousemove --window "$main" 120 42 click --repeat 2 --delay 80 1   # remove the entry
click "$main" 3847 4365          # Table Name
xdotool key ctrl+a
xdotool type 'Big[counter]'
add_folder "$work/big"
click "$main" 3180 7882          # Start Importing
sleep 0.8
shot main-window-importing
xdotool windowfocus --sync "$main"   # no window manager here to hand it the focus
xdotool key Escape               # stops the run before its end
sleep 1
shot import-stopped              # the files reached, done and not reached, over the run's last progress
xdotool key Return               # Import stopped.
shot main-window-stopped

# The preview of a spreadsheet's CSV export, quoted fields shown as the import reads them.
xdotool mousemove --window "$main" 120 42 click --repeat 2 --delay 80 1   # remove the entry
mkdir -p "$work/quoted" && cp examples/quoted.csv "$work/quoted/"
add_folder "$work/quoted"
# The added controls lie where the options panel's layouts put them in the fonts deps.sh installs.
click "$main" 6630 585           # Fields may be in double quotes
# Check over the list with the rejected orders beside it: the files with problems, line by line.
add_folder "$work/rejects"
click "$main" 10245 7200         # Check
check=$(window '^Check$')
shot check-result
xdotool windowfocus --sync "$check"
xdotool key Escape               # closes it, uncovering the main window
click "$main" 7605 7200          # Preview
shot preview-quoted
