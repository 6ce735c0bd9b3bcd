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

crlf() {  # crlf LINE...: the lines as the program saves them
  printf '%s\r\n' "$@"
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

printf '[MODELFILE]\n[SEGMENT]\nName=leftArm\nPivot=2 0 0\nEnd=3.0 0 0\n[ENDSEGMENT]\n[ENDMODELFILE]\n' > bones.mdl
cp bones.mdl bones.orig
run mirror-bone bones.mdl -t 0.5 --rule prefix -o mirrored
check "mirror-bone exit" 0 "$rc"
check "mirror-bone status" $'Born Mirrored\nSaved mirrored.mdl' "$err"
check "mirror-bone lines" "$(crlf '[MODELFILE]' '[SEGMENT]' 'Name=rightArm' 'Pivot=-2 0 0' \
  'End=-3 0 0' '[ENDSEGMENT]' '[SEGMENT]' 'Name=leftArm' 'Pivot=2 0 0' 'End=3 0 0' \
  '[ENDSEGMENT]' '[ENDMODELFILE]')" "$(cat mirrored.mdl)"
run --lang ja mirror-bone bones.mdl -t 0.5 --in-place
check "mirror-bone in place" 0 "$rc"
check "mirror-bone status ja" $'Bornを反転コピーしました。\nbones.mdlへ上書き保存しました' "$err"
check "mirror-bone default name" "Name=leftArmmb" "$(grep -a '^Name=leftArmmb' bones.mdl | tr -d '\r')"
check "mirror-bone backup" "$(cat bones.orig)" "$(cat bones.mdl.bak)"

cp bones.orig bad.mdl
run mirror-bone bad.mdl -t 0.5x --in-place
check "bad tolerance exit" 1 "$rc"
check "bad tolerance message" "'0.5x' is not a number" "$err"
check "bad tolerance leaves the file" "$(cat bones.orig)" "$(cat bad.mdl)"
[ -e bad.mdl.bak ] && check "no backup after a bad tolerance" "absent" "present"
run mirror-bone bad.mdl --in-place
check "mirror-bone needs a tolerance" 2 "$rc"
run mirror-bone bad.mdl -t 1 --rule middle --in-place
check "unknown rule" 2 "$rc"

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
for sub in info convert mirror-bone; do
  run "$sub" --help
  check "$sub --help" 0 "$rc"
done
run --help
check "--help" 0 "$rc"

run info "$src/examples/half_box.mdl"
check "example opens" 0 "$rc"

# Pictures: exit codes, the PNG's size from its IHDR chunk, the SVG's header.
ihdr() { od -An -tx1 -j12 -N12 "$1" | tr -d ' \n'; }  # chunk type, width, height
example="$src/examples/half_box.mdl"
run render "$example" -o pic.png
check "render png exit" 0 "$rc"
check "render png status" "Saved pic.png" "$err"
check "render png counts" "$(printf 'Number of cp=12\nNumber of spline=4')" "$out"
check "render png default size" "494844520000032000000258" "$(ihdr pic.png)"
run render "$example" --view top --size 64x48 --cpid -o small.PNG
check "render png size" "494844520000004000000030" "$(ihdr small.PNG)"
QT_QPA_PLATFORM= run render "$example" -o again.png
check "render empty platform" 0 "$rc"
cmp -s pic.png again.png || check "render png repeatable" "same bytes" "different"
run render "$example" --view left --size 30x20 -o pic.svg
check "render svg exit" 0 "$rc"
check "render svg header" "$(printf '%s\n%s' '<?xml version="1.0" encoding="UTF-8"?>' \
  '<svg xmlns="http://www.w3.org/2000/svg" width="30" height="20" viewBox="0 0 30 20" shape-rendering="crispEdges" font-family="VL Gothic, monospace" xml:space="preserve">')" \
  "$(head -n 2 pic.svg)"
check "render svg end" "</svg>" "$(tail -n 1 pic.svg)"
run render "$example" -o pic.jpg
check "render bad extension" 2 "$rc"
[ -e pic.jpg ] && check "no picture with a bad extension" "absent" "present"
run render "$example"
check "render needs an output" 2 "$rc"
for bad in 0x10 10x 10 800x600x2 16385x10 -5x5 axb; do
  run render "$example" --size "$bad" -o bad.png
  check "render size $bad" 2 "$rc"
done
run render "$example" --view back -o bad.png
check "render unknown view" 2 "$rc"
run render missing.mdl -o missing.png
check "render missing exit" 1 "$rc"
check "render missing message" "missing.mdl: Error:File does not exist!!" "$err"
run render --help
check "render --help" 0 "$rc"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
