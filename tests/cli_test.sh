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

golden() {  # golden NAME GOLDEN_FILE ACTUAL_FILE: a difference keeps ACTUAL as GOLDEN.actual
  if cmp -s "$2" "$3"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    cp "$3" "$2.actual"
    printf 'FAIL %s: differs from %s; the output is in %s.actual\n' "$1" "$2" "$2"
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

# A tag file's copy lists the points across the plane from its source's; one more memo line.
tag_bones=('<MODELFILE>' '<OBJECTS>' '<MODEL>' '<MESH>' '<SPLINE>' '1 0 1 2 0 0 . .' \
  '1 0 2 -2 0 0 . .' '1 0 3 0 1 0 . .' '</SPLINE>' '</MESH>' '<BONES>')
tag_end=('</BONES>' '</MODEL>' '</OBJECTS>' '</MODELFILE>')
left_arm=('<SEGMENT>' 'Name=Left Arm' '<NONSKINNEDCPS>' '1' '3' '</NONSKINNEDCPS>' 'End=3 0 0' \
  '</SEGMENT>')
crlf "${tag_bones[@]}" "${left_arm[@]}" "${tag_end[@]}" > tag_bones.mdl
run mirror-bone tag_bones.mdl -t 0.5 --rule prefix --word Left --replacement Right -o tag_mirrored
check "mirror-bone of a tag file" 0 "$rc"
check "mirror-bone of a tag file: memo" $'Number of cp=3\nNumber of spline=1\nNumber of cp given to copied bones=1 (left out=1)' "$out"
check "mirror-bone of a tag file: the copy" "$(crlf "${tag_bones[@]}" '<SEGMENT>' 'Name=Right Arm' \
  '<NONSKINNEDCPS>' '2' '</NONSKINNEDCPS>' 'End=-3 0 0' '</SEGMENT>' "${left_arm[@]}" \
  "${tag_end[@]}")" "$(cat tag_mirrored.mdl)"

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
# The shaded picture: PNG only, its counts after the document's, the angles only with it.
run render "$example" --shaded --yaw -30 --pitch 20 --size 64x48 -o shaded.png
check "render shaded exit" 0 "$rc"
check "render shaded counts" "$(printf 'Number of cp=12\nNumber of spline=4\nNumber of patch=1\nNumber of hole=0\nNumber of unorientable=0')" "$out"
check "render shaded size" "494844520000004000000030" "$(ihdr shaded.png)"
run render "$example" --shaded -o shaded_1.png
DISPLAY= QT_QPA_PLATFORM= run render "$example" --shaded -o shaded_2.png
check "render shaded without a display" 0 "$rc"
cmp -s shaded_1.png shaded_2.png || check "render shaded repeatable" "same bytes" "different"
run render "$example" --shaded -o shaded.svg
check "render shaded svg refused" 2 "$rc"
[ -e shaded.svg ] && check "no svg shaded" "absent" "present"
run render "$example" --yaw 10 -o yaw.png
check "render yaw needs shaded" 2 "$rc"
run render "$example" --shaded --pitch nan -o nan.png
check "render pitch must be a number" 2 "$rc"
run render "$example" --shaded --cpid -o cpid.png
check "render shaded without labels" 2 "$rc"
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

# Polygon files become the template model with one spline per edge, saved beside as .mdl.
printf '  0\nSECTION\n  2\nENTITIES\n  0\n3DFACE\n  8\nSkin\n 10\n1\n 20\n2\n 30\n3\n 11\n4\n 21\n5\n 31\n6\n 12\n7\n 22\n8\n 32\n-9\n  0\nENDSEC\n  0\nEOF\n' > tri.dxf
cp tri.dxf tri.orig
run convert tri.dxf -o tri.dxf
check "dxf convert exit" 0 "$rc"
check "dxf convert counts" $'Number of cp=6\nNumber of spline=3' "$out"
check "dxf convert status" "Saved tri.mdl" "$err"
check "dxf untouched" "$(cat tri.orig)" "$(cat tri.dxf)"
check "dxf model" "$(crlf '[MODELFILE]' 'ProductVersion=5.0' '[MODEL]' 'Name=animas_reference' \
  'Bounds=7 8 6 7 8 -9 7 0 -9 7 0 6 0 8 6 0 8 -9 0 0 -9 0 0 6' '[MESH]' 'Version=2' 'Splines=3' \
  'CPs=2' '0 0 1' '1 2 3' 0 0 '0 0 2' '4 5 6' 0 0 'CPs=2' '0 1 3' 2 0 0 '0 0 4' '7 8 -9' 0 0 \
  'CPs=2' '0 1 5' 4 0 0 '0 1 6' 1 0 0 '[ENDMESH]' '[GROUP]' 'Name=Skin' 'Count=6' 1 2 3 4 5 6 \
  '[ENDGROUP]' '[ENDMODEL]' '[ENDMODELFILE]')" "$(cat tri.mdl)"
run info "$src/tests/data/pyramid_mixed_lines.rok"
check "rok info" $'Number of cp=16\nNumber of spline=8' "$out"
printf '[MODELFILE]\n[MODEL]\nName=other\n[MESH]\n[ENDMESH]\n[ENDMODEL]\n[ENDMODELFILE]\n' > other.mdl
run convert tri.dxf --template other.mdl -o other_tri
check "own template" $'Name=other\nName=Skin' "$(grep -a '^Name=' other_tri.mdl | tr -d '\r')"
run info tri.dxf --template nowhere.mdl
check "missing template exit" 1 "$rc"
check "missing template message" "nowhere.mdl: Cannot open file nowhere.mdl" "$err"
printf '0\nSECTION\n2\nENTITIES\n0\n3DFACE\n10\n1.5.2\n0\nEOF\n' > bad.dxf
run convert bad.dxf -o bad_out
check "bad dxf exit" 1 "$rc"
check "bad dxf message" "bad.dxf:8: '1.5.2' is not a number" "$err"
[ -e bad_out.mdl ] && check "no model from a bad dxf" "absent" "present"

# Whole-model edits: memo lines on standard output, status on standard error, saved file.
cp "$src/tests/data/halvejoin_in.mdl" half.mdl
run halvejoin half.mdl -t 0.01 -o joined.mdl
check "halvejoin exit" 0 "$rc"
check "halvejoin memo" $'Number of cp=19+11->30\nNumber of spline=6+1->7' "$out"
check "halvejoin status" $'Halvejoined half.mdl\nSaved joined.mdl' "$err"
golden "halvejoin file" "$src/tests/data/halvejoin_expected.mdl" joined.mdl
run --lang ja halvejoin half.mdl -t 0.01 -o joined_ja.mdl
check "halvejoin status ja" $'half.mdl をHalvejoinしました。\njoined_ja.mdlへ保存しました' "$err"
cp half.mdl half.orig
run halvejoin half.mdl -t 1,5 --in-place
check "bad tolerance exit" 1 "$rc"
check "bad tolerance message" "'1,5' is not a number" "$err"
check "bad tolerance leaves the file" "$(cat half.orig)" "$(cat half.mdl)"
run halvejoin half.mdl --in-place
check "halvejoin needs a tolerance" 2 "$rc"
run attach-all joined.mdl -o attached.mdl
check "attach-all status" $'Attached\nSaved attached.mdl' "$err"
run detach-all attached.mdl -o detached.mdl
check "detach-all status" $'Detached\nSaved detached.mdl' "$err"
check "detach-all keeps the counts" $'Number of cp=30\nNumber of spline=7' "$("$zevrin" -q info detached.mdl)"
run connect "$src/examples/half_box.mdl" -o connected.mdl
check "connect memo" $'Number of cp=12->12\nNumber of spline=4->4' "$out"
check "connect status" "Connected!! $src/examples/half_box.mdl" "$(head -1 <<<"$err")"
for sub in halvejoin attach-all detach-all connect; do
  run "$sub" --help
  check "$sub --help" 0 "$rc"
done

# Polygon files through Assimp, DXF inserts and the export.
printf 'v 0 0 0\nv 2 0 0\nv 3 1.5 0\nv 1 3 0\nv -1 1.5 0\nv 1 -1 0\ng pent\nf 1 2 3 4 5\ng tri\nf 2 1 6\n' > shape.obj
run convert shape.obj -o shape.obj
check "obj convert exit" 0 "$rc"
check "obj convert counts" $'Number of cp=14\nNumber of spline=7' "$out"
check "obj convert saves a model" "Saved shape.mdl" "$err"
run -q export shape.obj -o shape_lines.obj --polylines
check "export obj exit" 0 "$rc"
check "export obj polylines" 7 "$(grep -c '^l ' shape_lines.obj)"
# The patches: the triangle is one, the pentagon an opening beside it.
run export shape.obj -o shape_faces.obj
check "export faces exit" 0 "$rc"
check "export faces memo" $'Number of cp=14\nNumber of spline=7\nNumber of patch=1 (triangle=1 quad=0)\nNumber of hole=2\nNumber of unorientable=0' "$out"
check "export faces status" "Saved shape_faces.obj" "$err"
check "export faces: one face" 1 "$(grep -c '^f ' shape_faces.obj)"
check "export faces: the mesh named after the group" "g tri" "$(grep '^g ' shape_faces.obj)"
cp shape_faces.obj before_faces.obj
run -q export shape.obj -o shape_faces.obj
check "export keeps the replaced file" "$(cat before_faces.obj)" "$(cat shape_faces.obj.bak)"
for ext in gltf glb stl ply fbx dae; do
  run -q export shape.obj -o "shape_faces.$ext"
  check "export .$ext" "0 1" "$rc $(test -s "shape_faces.$ext" && echo 1)"
  check "export .$ext reads back" $'Number of cp=6\nNumber of spline=3' "$("$zevrin" -q info "shape_faces.$ext")"
done
check "export gltf writes its buffer beside it" 1 "$(ls shape_faces*.bin | wc -l)"
run -q halvejoin "$src/examples/half_box.mdl" -t 0.001 -o box.mdl
run -q export box.mdl -o box.obj
check "export the two ends of the box" 2 "$(grep -c '^f ' box.obj)"
run -q export box.mdl -o box_tri.obj --triangulate
check "export --triangulate" 4 "$(grep -c '^f ' box_tri.obj)"
run export box.mdl -o box.stl --polylines
check "--polylines writes obj only" 2 "$rc"
run export box.mdl -o box.obj --polylines --triangulate
check "--polylines and --triangulate exclude each other" 2 "$rc"
run export shape.obj -o again_tri.dxf --triangulate
check "--triangulate is no dxf option" 2 "$rc"
run export "$src/tests/data/halvejoin_in.mdl" -o nothing.obj
check "export without patches exit" 1 "$rc"
check "export without patches message" "$src/tests/data/halvejoin_in.mdl: Nothing to export: no three or four spline segments close a patch" "$err"
check "export without patches writes nothing" "absent" "$(test -e nothing.obj && echo present || echo absent)"
run -q export shape.obj -o shape_faces.dxf
check "export dxf: the pentagon as three triangles and the triangle" 4 "$(grep -c '^3DFACE$' shape_faces.dxf)"
run export shape.mdl -o again.dxf
check "export dxf of a model file" 1 "$rc"
check "export dxf of a model file message" "shape.mdl: Error:filename Extension!!" "$err"
run export gone.dxf -o gone.obj
check "export of a missing file" "gone.dxf: Error:File does not exist!!" "$err"
run export gone.dxf -o gone_again.dxf
check "export of a missing file as dxf" "gone.dxf: Error:File does not exist!!" "$err"
run export shape.obj -o shape.png
check "export needs a polygon or dxf extension" 2 "$rc"
printf 'solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0\n' > broken.stl
run info broken.stl
check "broken stl message" "broken.stl: Cannot import the polygon file" "$(cut -d: -f1,2 <<<"$err")"

# The Assimp formats are read in a process of their own, with limits: a reader that loops, dies
# or talks nonsense ends in a named error (ZEVRIN_READER_TEST_FAULT is the tests' own switch).
printf 'ply\nformat ascii' > cut.ply
run --reader-timeout 1 info cut.ply
check "cut ply exit" 1 "$rc"
check "cut ply message" "cut.ply: Reading the polygon file did not finish within 1 s" "$err"
run --lang ja --reader-timeout 1.5 info cut.ply
check "cut ply message ja" "cut.ply: ポリゴンファイルの読み込みが 1.5 秒以内に終わりませんでした" "$err"
run --reader-timeout 0 info cut.ply
check "reader timeout must be positive" 2 "$rc"
run --reader-timeout soon info cut.ply
check "reader timeout must be a number" 2 "$rc"
ZEVRIN_READER_TEST_FAULT=signal run info shape.obj
check "reader crash exit" 1 "$rc"
check "reader crash message" "shape.obj: The polygon file reader crashed (SIGSEGV)" "$err"
ZEVRIN_READER_TEST_FAULT=garbage run info shape.obj
check "reader garbage message" "shape.obj: The polygon file reader gave a malformed answer (at byte 0)" "$err"
mkdir lonely && cp "$zevrin" lonely/zevrin  # without the reader beside it
lonely/zevrin info shape.obj 2>"$work/.err"
check "reader missing exit" 1 "$?"
check "reader missing message" \
  "shape.obj: The polygon file reader $work/lonely/zevrin-assimp-reader is missing or cannot be started" \
  "$(cat "$work/.err")"
run -q info shape.obj
check "the next polygon file opens" $'Number of cp=14\nNumber of spline=7' "$out"

printf '0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nTri\n10\n0\n20\n0\n30\n0\n0\n3DFACE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n0\n22\n1\n32\n0\n0\nENDBLK\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\nplaced\n2\nTri\n10\n5\n20\n0\n30\n0\n41\n2\n42\n2\n0\nENDSEC\n0\nEOF\n' > inserted.dxf
check "inserts are skipped by default" $'Number of cp=0\nNumber of spline=0' "$("$zevrin" -q info inserted.dxf)"
run -q --expand-inserts convert inserted.dxf -o inserted
check "expand-inserts counts" $'Number of cp=6\nNumber of spline=3' "$out"
check "expand-inserts group" "Name=placed" "$(grep -a '^Name=placed' inserted.mdl | tr -d '\r')"
check "expand-inserts box, from the origin on" "Bounds=7 2 0 7 2 0 7 0 0 7 0 0 0 2 0 0 2 0 0 0 0 0 0 0" \
  "$(grep -a -m1 '^Bounds=' inserted.mdl | tr -d '\r')"
run export --help
check "export --help" 0 "$rc"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
