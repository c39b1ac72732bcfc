#!/usr/bin/env bash
# Runs the code samples of a guide, so that the guides never drift from the
# programs:   run_doc_samples.sh PROGRAM_FOLDER GUIDE.md
#
# A sample is run when its fence is marked `doc-test`:
#
#   ```sh doc-test
#   norwin-reg add "HKCU\Software\Example" /v Colour /d blue /f
#   ```
#
# A JavaScript sample, fenced as `js doc-test`, is run by lumo-script (with
# ActiveXObject, Enumerator and WScript, as page script and administrators'
# scripts use record objects); it fails the run when lumo-script exits
# with a status other than 0 (an uncaught error, or WScript.Quit(1)).
#
# Steps a reader need not see (making a file to work on, checking what a
# sample printed) go in a hidden block, an HTML comment that opens with
# `<!-- doc-test` on a line of its own and closes with `-->`; it runs in
# its place like any sample. Either may be indented, as in a list item.
#
# Every block runs in order, each in its own `bash -eu -o pipefail`, in one
# fresh working folder for the whole guide (files made by one block are
# there for the next; variables are not). The folder is also $HOME, and
# $NORWIN_PREFIX is its default there ($HOME/.local/share/norwin), so the
# samples never touch the user's own. PROGRAM_FOLDER comes first on $PATH,
# no prompt ever opens a dialog (NORWIN_PROMPT_LOG), and $DOC_SOURCE_DIR is
# the repository's top folder. A failing block fails the run, reported with
# the guide's line number and what the block printed.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 PROGRAM_FOLDER GUIDE.md" >&2
  exit 2
fi
programs=$(cd "$1" && pwd) || exit 2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
guide=$2
[ -r "$guide" ] || { echo "$guide: cannot be read" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/doc-samples.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.local/share/norwin" "$work/samples"

# Splits the guide into one file a block, named by the line it starts on. A
# block may be indented (inside a list item); its lines lose that indent.
awk -v out="$work/samples" '
  function open_block(kind, ext) {
    file = sprintf("%s/%06d%s", out, NR + 1, ext); printf "" > file; inside = kind
    match($0, /^ */); indent = RLENGTH
  }
  inside == "" && /^ *```js +doc-test *$/     { open_block("fence", ".js"); next }
  inside == "" && /^ *```[a-z]* +doc-test *$/ { open_block("fence", ""); next }
  inside == "" && /^ *<!-- *doc-test *$/      { open_block("comment", ""); next }
  inside == "fence" && /^ *```/               { close(file); inside = ""; next }
  inside == "comment" && /^ *--> *$/          { close(file); inside = ""; next }
  inside != ""                                { print substr($0, indent + 1) > file }
  END { if (inside != "") { print "unclosed doc-test block" > "/dev/stderr"; exit 1 } }
' "$guide" || { echo "$guide: a doc-test block is not closed" >&2; exit 1; }

count=0
for sample in "$work"/samples/*; do
  [ -e "$sample" ] || continue
  name=$(basename "$sample")
  line=$((10#${name%.js}))
  run=(bash -eu -o pipefail "$sample")
  case $sample in *.js) run=(lumo-script "$sample") ;; esac
  count=$((count + 1))
  if ! (cd "$work/home" &&
        env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u DISPLAY -u WAYLAND_DISPLAY \
          HOME="$work/home" \
          NORWIN_PREFIX="$work/home/.local/share/norwin" \
          NORWIN_PROMPT_LOG="$work/prompts.log" \
          DOC_SOURCE_DIR="$source_dir" \
          PATH="$programs:$PATH" \
          "${run[@]}" >"$work/output" 2>&1); then
    echo "$guide:$line: the sample failed; it printed:" >&2
    sed 's/^/  | /' "$work/output" >&2
    echo "  the sample was:" >&2
    sed 's/^/  > /' "$sample" >&2
    exit 1
  fi
done
echo "$guide: $count samples ran"
