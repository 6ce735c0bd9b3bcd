#!/usr/bin/env bash
# The command line as a user meets it: exit codes, standard output and error, files on disk.
# Usage: cli_test.sh ZEVRIN_BINARY SOURCE_DIR
set -u
zevrin=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
unset LC_ALL LC_MESSAGES LANGUAGE
export LANG=C
failures=0
passes=0

check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

run() {  # run ARGS...: sets out, err, rc
  out=$("$zevrin" "$@" 2>"$work/.err")
  rc=$?
  err=$(cat "$work/.err")
}

printf '[MODELFILE]\n  Name=x  \n[Thing]\nA=1\n[ENDTHING]\n[ENDMODELFILE]\n' > model.mdl
expected=$(printf '[MODELFILE]\r\nName=x\r\n[Thing]\r\nA=1\r\n[ENDThing]\r\n[ENDMODELFILE]\r\n')

run info model.mdl
check "info exit" 0 "$rc"
check "info counts" $'Number of cp=0\nNumber of spline=0' "$out"
check "info status" "Opend model.mdl" "$err"

run --lang ja info model.mdl
check "japanese status" "model.mdl を読み込みました。" "$err"
LANG=ja_JP.UTF-8 run info model.mdl
check "japanese from LANG" "model.mdl を読み込みました。" "$err"
LANG=ja_JP.UTF-8 run info model.mdl --lang en
check "--lang overrides" "Opend model.mdl" "$err"
run -q info model.mdl
check "quiet" "" "$err"

run convert model.mdl -o out
check "convert exit" 0 "$rc"
check "convert status" "Saved out.mdl" "$err"
check "convert bytes" "$expected" "$(cat out.mdl)"
[ -e out.mdl.bak ] && check "no backup of a new file" "absent" "present"

cp model.mdl before.mdl
run convert model.mdl --in-place
check "in-place exit" 0 "$rc"
check "in-place status" "Saved as model.mdl" "$err"
check "in-place backup" "$(cat before.mdl)" "$(cat model.mdl.bak)"
check "in-place bytes" "$expected" "$(cat model.mdl)"

run info missing.mdl
check "missing exit" 1 "$rc"
check "missing message" "missing.mdl: Error:File does not exist!!" "$err"
run --lang ja info missing.mdl
check "missing message ja" "missing.mdl: Error:ファイルが存在しません！！" "$err"

cp model.mdl notes.txt
run info notes.txt
check "extension exit" 1 "$rc"
check "extension message" "notes.txt: Error:filename Extension!!" "$err"

printf '[MODELFILE]\n[MODEL]\nName=x\n' > broken.mdl
cp broken.mdl broken.orig
run convert broken.mdl --in-place
check "broken exit" 1 "$rc"
check "broken message" "broken.mdl:2: List index out of range (3)" "$err"
check "broken file untouched" "$(cat broken.orig)" "$(cat broken.mdl)"
[ -e broken.mdl.bak ] && check "no backup after a failed load" "absent" "present"

run convert model.mdl
check "convert needs an output" 2 "$rc"
run convert model.mdl -o a.mdl --in-place
check "output and in-place exclude each other" 2 "$rc"
run frobnicate
check "unknown subcommand" 2 "$rc"
run
check "no subcommand" 2 "$rc"
run --lang fr info model.mdl
check "unknown language" 2 "$rc"
for sub in info convert; do
  run "$sub" --help
  check "$sub --help" 0 "$rc"
done
run --help
check "--help" 0 "$rc"

run info "$src/examples/half_box.mdl"
check "example opens" 0 "$rc"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
