#!/usr/bin/env bash
# End-to-end: the demo course walked through in a real lumo window
# (scripts/demo-walk, as `scripts/demo` runs it without a display), then
# what the walk should have left behind checked from outside: the records in
# the demo's records folder (with --server: in the database of the
# norwin-server the walk ran, and the live exercise's score in its grade
# inbox), the progress file, the printed summary, the window's captions and
# the screenshots, none of them blank.
#   demo_walk_test.sh BUILD_DIR [--server]   (needs an X display; skipped without one)
set -uo pipefail
build=$1
server=${2:-}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
[ -n "${DISPLAY:-}" ] || { echo "needs a display (scripts/test provides one): skipped"; exit 77; }

out=$(mktemp -d "${TMPDIR:-/tmp}/demo-walk.XXXXXX")
trap 'rm -rf "$out"' EXIT
if ! "$source_dir/scripts/demo-walk" $server "$build" "$out/walk" >"$out/walk.txt" 2>&1; then
  cat "$out/walk.txt"
  echo "--- lumo said:"; cat "$out/walk/lumo.log" 2>/dev/null
  exit 1
fi

failures=0
expect() {  # expect WHAT COMMAND...: the command must succeed
  local what=$1
  shift
  if ! "$@" >/dev/null 2>&1; then echo "FAILED: $what"; failures=$((failures + 1)); fi
}
records="$out/walk/prefix/demo-records"
progress_file="$records/progress/tck.txt"
database="$out/walk/prefix/demo-server/records.db"
if [ -n "$server" ]; then
  # The server's records, copied out of its database into the folders they
  # were saved to, so that they are checked as the local walk's are.
  expect "no records folder was made beside the server" test ! -e "$records"
  records="$out/server-records"
  if ! /usr/bin/python3 - "$database" "$records" <<'PY'
import os, sqlite3, sys
database, target = sys.argv[1], sys.argv[2]
for folder, name, body in sqlite3.connect(database).execute("SELECT folder, name, body FROM records"):
    path = os.path.join(target, folder.strip("/").removeprefix("demo-records").strip("/"), name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(body if isinstance(body, bytes) else body.encode())
PY
  then
    echo "FAILED: the server's database cannot be read"
    failures=$((failures + 1))
  fi
  progress_file="$out/walk/prefix/demo-progress/tck.txt"
fi
progress=$(tr -d '\r' <"$progress_file")
student=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$records/students.xml" | head -1)

expect "the roster holds the student the teacher added" grep -q '<username>ann</username>' "$records/students.xml"
expect "the password is kept as its digest, not as typed" bash -c "! grep -q secret '$records/students.xml'"
expect "the student's copy of lesson 1 is complete" \
  grep -q 'COMPLETED="true"' "$records/lessons/evaporation_pml_$student.xml"
expect "lesson 2 was not touched" test ! -e "$records/lessons/condensation_pml_$student.xml"
attempt="$records/exams/watercycle_pmxm_${student}_01.xml"
expect "the exam attempt is the student's" grep -q "<studentID>$student</studentID>" "$attempt"
expect "one answer of three was right" grep -q 'pctCorrect="33"' "$attempt"
expect "the attempt holds all three questions" test "$(grep -o '<questionRef' "$attempt" | wc -l)" -eq 3
expect "the live exercise's three steps are right" \
  test "$(grep -o 'correct="True"' "$records/liveex/lx1_$student.xml" | wc -l)" -eq 3
if [ -n "$server" ]; then
  inbox=$(/usr/bin/python3 -c 'import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute("SELECT course, assignment, student, score FROM results"):
    print(",".join(row))' "$database")
  expect "the grade inbox holds the live exercise's score, once" test "$inbox" = "WATERCYCLE,LX1,$student,100"
fi
expect "progress: the finished lesson" grep -qx 'completed=evaporation|~' <<<"$progress"
expect "progress: the exam result" grep -qx 'examResult=33' <<<"$progress"
expect "progress: the page the search result opened" grep -qx 'lastPage=/lessons/evaporation.htm' <<<"$progress"
expect "nothing was written into the course folder" \
  test -z "$(find "$build/share/lumo/demo-course" -newer "$out/walk/prompts.txt" -type f)"
expect "the print dialog was answered once" grep -qx "PRINT	OK	1" "$out/walk/prompts.log"
summary=$(pdftotext -layout "$out/walk/summary.pdf" - 2>/dev/null)
expect "the printed summary names the student" grep -q 'summary for Ann Lee' <<<"$summary"
expect "and the finished lesson" grep -q 'Lesson 1: Evaporation: Completed' <<<"$summary"
# The window's caption follows the page: its title, then the course's.
for caption in "01-first-run.png: Add students" "02-lesson-menu.png: The Water Cycle: your lessons" \
    "03-lesson-task.png: Lesson 1: Evaporation" "08-exam-summary.png: The Water Cycle: exam results"; do
  expect "the caption of ${caption%%:*}" \
    grep -qF "/$caption - Lumo Demo Course: The Water Cycle" "$out/walk.txt"
done
shots=("$out"/walk/*.png)
expect "a screenshot of every step" test "${#shots[@]}" -ge 8
for shot in "${shots[@]}"; do
  expect "$(basename "$shot") is not blank" bash -c "! /usr/bin/python3 '$source_dir/scripts/screenshot.py' blank '$shot'"
done
[ "$failures" -eq 0 ] || { cat "$out/walk.txt"; exit 1; }
echo "the demo walk left every record behind"
