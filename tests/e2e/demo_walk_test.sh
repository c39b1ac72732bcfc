#!/usr/bin/env bash
# End-to-end: the demo course walked through in a real lumo window
# (scripts/demo-walk, as `scripts/demo` runs it without a display), then
# what the walk should have left behind checked from outside: the records in
# the demo's records folder, the progress file, the printed summary and the
# screenshots, none of them blank.
#   demo_walk_test.sh BUILD_DIR        (needs an X display; skipped without one)
set -uo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
[ -n "${DISPLAY:-}" ] || { echo "needs a display (scripts/test provides one): skipped"; exit 77; }

out=$(mktemp -d "${TMPDIR:-/tmp}/demo-walk.XXXXXX")
trap 'rm -rf "$out"' EXIT
if ! "$source_dir/scripts/demo-walk" "$build" "$out/walk" >"$out/walk.txt" 2>&1; then
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
progress=$(tr -d '\r' <"$records/progress/tck.txt")
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
  test "$(grep -c 'correct="True"' "$records/liveex/lx1_$student.xml")" -eq 3
expect "progress: the finished lesson" grep -qx 'completed=evaporation|~' <<<"$progress"
expect "progress: the exam result" grep -qx 'examResult=33' <<<"$progress"
expect "progress: the page the search result opened" grep -qx 'lastPage=/lessons/evaporation.htm' <<<"$progress"
expect "nothing was written into the course folder" \
  test -z "$(find "$build/share/lumo/demo-course" -newer "$out/walk/prompts.txt" -type f)"
expect "the print dialog was answered once" grep -qx "PRINT	OK	1" "$out/walk/prompts.log"
summary=$(pdftotext -layout "$out/walk/summary.pdf" - 2>/dev/null)
expect "the printed summary names the student" grep -q 'summary for Ann Lee' <<<"$summary"
expect "and the finished lesson" grep -q 'Lesson 1: Evaporation: Completed' <<<"$summary"
shots=("$out"/walk/*.png)
expect "a screenshot of every step" test "${#shots[@]}" -ge 8
for shot in "${shots[@]}"; do
  expect "$(basename "$shot") is not blank" bash -c "! /usr/bin/python3 '$source_dir/scripts/screenshot.py' blank '$shot'"
done
[ "$failures" -eq 0 ] || { cat "$out/walk.txt"; exit 1; }
echo "the demo walk left every record behind"
